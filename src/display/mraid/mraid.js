/* version 4.8.0 */
(function (root) {
  'use strict';

  // Everything lives under window.tovane. A member is only created when it is
  // absent, so evaluating the script a second time keeps the running state.
  const tovane = root.tovane || (root.tovane = {});

  function define(target, members) {
    for (const key of Object.keys(members)) {
      if (!(key in target)) {
        target[key] = members[key];
      }
    }
    return target;
  }

  function namespace(name) {
    return tovane[name] || (tovane[name] = {});
  }

  define(tovane, { debugLog: [] });

  function trace(line) {
    tovane.debugLog.push(line);
  }

  function isObject(value) {
    return value !== null && typeof value === 'object' && !Array.isArray(value);
  }

  // Native code sends flags as the strings "true" and "false".
  function isSet(flag) {
    return flag === true || flag === 'true';
  }

  // ---------------------------------------------------------------- error
  (function () {
    const error = namespace('error');
    define(error, {
      bridgeError: Object.freeze({
        BRG000: 'Missing command in mraidBridge.executeSDKCommand method call!',
        BRG001: 'Tovane SDK is not ready to process MRAID command!'
      }),
      bridgeExtError: Object.freeze({
        BRX000: 'Cannot retrieve #dynamic container in Ad Unit!'
      }),
      mraidError: Object.freeze({
        MRD000: 'Cannot add listener for unknown MRAID event!',
        MRD001: 'Missing argument(s)! Both event and/or listener are required for method call!',
        MRD002: 'Unable to find listener registered for event!',
        MRD003: 'Missing MRAID event! Cannot remove event listener!',
        MRD004: 'Missing object! An expand properties object is required for method call!',
        MRD005: 'Missing object! An orientation properties object is required for method call!',
        MRD006: 'Missing object! An resize properties object is required for method call!',
        MRD007: 'Missing URL! A URL is required for method call!',
        MRD008: 'Ad unit is hidden and cannot be closed!',
        MRD009: 'Missing URL! A video/caption URL is required for method call!',
        MRD010: 'Ad Unit is not viewable! Please make sure isViewAble is set to true!',
        MRD011: 'Ad unit can only be expanded from the default or resized state!',
        MRD012: 'Ad unit can only be resized from the default or resized state!',
        MRD013: 'Missing URI! A valid URI is required for method call!',
        MRD015: 'Invalid data/type detected when updating MRAID properties!',
        MRD016: 'Missing app store id! An app store id is required for method call!'
      }),
      mraidClientError: Object.freeze({
        MRC000: 'MRAID SDK error detected!',
        MRC001: 'Missing MRAID object in window!',
        MRC002: 'Missing video URL!  mraidClient.playVideo cannot retrieve video URL from arguments!'
      }),
      adTemplateError: Object.freeze({
        ADT000: 'Missing page template JavaScript!',
        ADT001: 'Error encountered loading template configuration!'
      }),
      gestureTrackingError: Object.freeze({
        GET000: 'Cannot serialize user interaction tracking event object!'
      })
    });
    trace('error loaded.');
  })();

  // ---------------------------------------------------------------- mraidCore
  (function () {
    const core = namespace('mraidCore');

    const consts = {
      versions: { V1: '1.0', V2: '2.0' },
      states: {
        LOADING: 'loading',
        DEFAULT: 'default',
        RESIZED: 'resized',
        EXPANDED: 'expanded',
        HIDDEN: 'hidden'
      },
      events: {
        INFO: 'info',
        READY: 'ready',
        ERROR: 'error',
        STATE_CHANGE: 'stateChange',
        ORIENTATION_CHANGE: 'orientationChange',
        VIEWABLE_CHANGE: 'viewableChange',
        SIZE_CHANGE: 'sizeChange'
      },
      placements: { UNKNOWN: 'unknown', INLINE: 'inline', INTERSTITIAL: 'interstitial' },
      orientations: { PORTRAIT: 'portrait', LANDSCAPE: 'landscape', NONE: 'none' },
      closePositions: {
        CENTER: 'center',
        TOP_LEFT: 'top-left',
        TOP_CENTER: 'top-center',
        TOP_RIGHT: 'top-right',
        BOTTOM_LEFT: 'bottom-left',
        BOTTOM_CENTER: 'bottom-center',
        BOTTOM_RIGHT: 'bottom-right'
      }
    };
    for (const group of Object.values(consts)) {
      Object.freeze(group);
    }
    define(core, { consts: Object.freeze(consts) });

    const { events, states } = core.consts;

    // Listeners per event, keyed by the listener's text form.
    define(core, { listeners: {} });
    for (const event of Object.values(events)) {
      define(core.listeners, { [event]: new Map() });
    }

    function isKnownEvent(event) {
      return Object.values(core.consts.events).includes(event);
    }

    function broadcastEvent(event, ...args) {
      const listeners = core.listeners[event];
      if (!listeners) {
        return;
      }
      for (const listener of Array.from(listeners.values())) {
        try {
          listener(...args);
        } catch (err) {
          // A failing listener must not stop the others; report it to the page.
          root.setTimeout(() => {
            throw err;
          }, 0);
        }
      }
    }

    function describe(value) {
      return isObject(value) ? JSON.stringify(value) : String(value);
    }

    function info(name, value) {
      core.broadcastEvent(events.INFO, 'Setting MRAID ' + name + ' to: ' + describe(value));
    }

    function handlers() {
      return core.propertiesHandlers;
    }

    // A property holding a plain value: update replaces it.
    function valueProperty(name, initial, effect) {
      let value = initial;
      return {
        update(next) {
          value = next;
          if (effect) {
            effect(name, value);
          }
        },
        clone() {
          return value;
        }
      };
    }

    // A property holding an object: update merges the given keys into it.
    function objectProperty(name, initial, effect) {
      const value = Object.assign({}, initial);
      return {
        update(next) {
          if (isObject(next)) {
            Object.assign(value, next);
          }
          if (effect) {
            effect(name, Object.assign({}, value));
          }
        },
        clone() {
          return Object.assign({}, value);
        }
      };
    }

    define(core, {
      isKnownEvent,
      broadcastEvent,
      propertiesHandlers: {}
    });

    const position = { x: 0, y: 0, width: 0, height: 0 };
    define(core.propertiesHandlers, {
      os: valueProperty('os', ''),
      osVersion: valueProperty('osVersion', ''),
      sdkVersion: valueProperty('sdkVersion', ''),
      incentivized: valueProperty('incentivized', false),
      consentRequired: valueProperty('consentRequired', false),
      consentTitleText: valueProperty('consentTitleText', false),
      consentBodyText: valueProperty('consentBodyText', false),
      consentAcceptButtonText: valueProperty('consentAcceptButtonText', false),
      consentDenyButtonText: valueProperty('consentDenyButtonText', false),
      version: valueProperty('version', core.consts.versions.V1, info),
      maxSize: objectProperty('maxSize', { width: 0, height: 0 }, (name, value) => {
        handlers().expandProperties.update({ width: value.width, height: value.height });
        info(name, value);
      }),
      screenSize: objectProperty('screenSize', { width: 0, height: 0 }, (name, value) => {
        info(name, value);
        core.broadcastEvent(events.SIZE_CHANGE, value.width, value.height);
      }),
      defaultPosition: objectProperty('defaultPosition', position, info),
      currentPosition: objectProperty('currentPosition', position, info),
      expandProperties: objectProperty(
        'expandProperties',
        { width: 0, height: 0, useCustomClose: false, isModal: true },
        info
      ),
      resizeProperties: objectProperty(
        'resizeProperties',
        {
          width: 0,
          height: 0,
          offsetX: 0,
          offsetY: 0,
          customClosePosition: core.consts.closePositions.TOP_RIGHT,
          allowOffscreen: true
        },
        info
      ),
      orientationProperties: objectProperty(
        'orientationProperties',
        { allowOrientationChange: true, forceOrientation: core.consts.orientations.NONE },
        info
      ),
      supports: objectProperty(
        'supports',
        { sms: false, tel: false, calendar: false, storePicture: false, inlineVideo: false },
        info
      ),
      state: valueProperty('state', states.LOADING, (name, value) => {
        info(name, value);
        core.broadcastEvent(events.STATE_CHANGE, value);
        if (value === states.DEFAULT) {
          core.broadcastEvent(events.READY);
        }
      }),
      placementType: valueProperty('placementType', core.consts.placements.UNKNOWN, info),
      isViewable: valueProperty('isViewable', false, (name, value) => {
        info(name, value);
        core.broadcastEvent(events.VIEWABLE_CHANGE, value);
      }),
      customClose: valueProperty('customClose', false, info),
      customPrivacy: valueProperty('customPrivacy', false, info),
      enableBackImmediately: valueProperty('enableBackImmediately', false, info)
    });

    trace('mraidCore loaded.');
  })();

  // ---------------------------------------------------------------- mraidBridge
  (function () {
    const bridge = namespace('mraidBridge');
    const core = tovane.mraidCore;

    function makeException(code) {
      const err = new Error(code);
      err.name = 'TovaneMRAIDBridgeException';
      return err;
    }

    function fail(code) {
      bridge.notifyErrorEvent('executeSDKCommand', tovane.error.bridgeError[code]);
      throw makeException(code);
    }

    // Posts one command URL; a failed post leaves the channel idle.
    function post(url) {
      bridge.commandInFlight = true;
      try {
        bridge.notifyContainer(url);
      } catch (err) {
        bridge.commandInFlight = false;
        throw err;
      }
    }

    define(bridge, {
      ready: false,
      commandInFlight: false,
      commandQueue: [],
      adInfo: {
        isTovaneAd: false,
        isInstalled: undefined,
        isDisplayIAP: undefined,
        isDirectDownload: undefined,
        replacementTokens: {}
      },

      // Native code replaces this once the page has loaded.
      notifyContainer(message) {
        trace('mraidBridge.notifyContainer');
        // The host's message channel, a path from the window that the build writes in.
        const webview = '@WEB_MESSAGE_CHANNEL@'.split('.').reduce((at, name) => at && at[name], root);
        if (webview && typeof webview.postMessage === 'function') {
          webview.postMessage(message);
        } else {
          root.location = message;
        }
      },

      notifyPropertiesChange(properties, completed) {
        trace('mraidBridge.notifyPropertiesChange');
        const handlers = core.propertiesHandlers;
        if (isObject(properties)) {
          for (const key of Object.keys(properties)) {
            const value = properties[key];
            if (Object.prototype.hasOwnProperty.call(handlers, key)) {
              handlers[key].update(value);
            } else {
              bridge.notifyErrorEvent(
                'notifyPropertiesChange',
                'MRD015: Unhandled Property received - ' + key + ' - ' + value
              );
            }
          }
        }
        if (completed === true) {
          try {
            bridge.executeSDKCommand('propertiesChangeCompleted');
          } catch (err) {
            trace('mraidBridge.notifyPropertiesChange: ' + err.name + ' ' + err.message);
          }
        }
      },

      notifyReadyEvent(replacements) {
        trace('mraidBridge.notifyReadyEvent');
        bridge.ready = true;
        if (replacements !== undefined && replacements !== null) {
          const tokens = Object(replacements);
          bridge.adInfo.isTovaneAd = true;
          bridge.adInfo.isInstalled = tokens.isInstalled;
          bridge.adInfo.isDisplayIAP = tokens.isDisplayIAP;
          bridge.adInfo.isDirectDownload = tokens.isDirectDownload;
          bridge.adInfo.replacementTokens = tokens;
        } else {
          bridge.executeSDKCommand('successfulView');
        }
        const state = core.propertiesHandlers.state;
        if (state.clone() !== core.consts.states.DEFAULT) {
          state.update(core.consts.states.DEFAULT);
        } else {
          core.broadcastEvent(core.consts.events.READY);
        }
      },

      notifyCommandComplete() {
        trace('mraidBridge.notifyCommandComplete');
        if (bridge.commandQueue.length > 0) {
          post(bridge.commandQueue.shift());
        } else {
          bridge.commandInFlight = false;
        }
      },

      notifyErrorEvent(source, message) {
        trace('mraidBridge.notifyErrorEvent');
        core.broadcastEvent(core.consts.events.ERROR, message, source);
      },

      // executeSDKCommand(command, key1, value1, key2, value2, ...)
      executeSDKCommand(command, ...params) {
        trace('mraidBridge.executeSDKCommand ' + command);
        if (!command) {
          fail('BRG000');
        }
        if (!bridge.ready) {
          fail('BRG001');
        }
        let url = 'mraid://' + command;
        for (let i = 0; i < params.length; i += 2) {
          url += (i === 0 ? '?' : '&') + encodeURIComponent(params[i]);
          if (params[i + 1] !== undefined) {
            url += '=' + encodeURIComponent(params[i + 1]);
          }
        }
        if (bridge.commandInFlight) {
          bridge.commandQueue.push(url);
        } else {
          post(url);
        }
      }
    });

    trace('mraidBridge loaded.');
  })();

  // ---------------------------------------------------------------- mraidBridgeExt
  (function () {
    const ext = namespace('mraidBridgeExt');
    const bridge = tovane.mraidBridge;
    const core = tovane.mraidCore;

    // Sends a command; a failure becomes an error event named after the sender.
    function send(sender, command, ...params) {
      try {
        bridge.executeSDKCommand(command, ...params);
      } catch (err) {
        bridge.notifyErrorEvent(sender, err && err.message ? err.message : String(err));
      }
    }

    function fireEvent(name, detail) {
      const container = root.document && root.document.getElementById('dynamic');
      if (!container) {
        ext.notifyError(tovane.error.bridgeExtError.BRX000);
        return false;
      }
      const init = detail === undefined ? {} : { detail };
      container.dispatchEvent(new root.CustomEvent(name, init));
      return true;
    }

    define(ext, {
      notifyError(code) {
        try {
          bridge.executeSDKCommand('error', 'code', code);
        } catch (err) {
          if (err && err.name === 'TovaneMRAIDBridgeException') {
            trace('mraidBridgeExt.notifyError: ' + err.name + ' ' + err.message + ' (' + code + ')');
          } else {
            bridge.notifyErrorEvent('notifyError', err && err.message ? err.message : String(err));
          }
        }
      },
      notifyTPAT(event) {
        send('notifyTPAT', 'tpat', 'event', event);
      },
      consentAction(event, version) {
        if (version === undefined) send('consentAction', 'consentAction', 'event', event);
        else send('consentAction', 'consentAction', 'event', event, 'version', version);
      },
      notifyUserInteraction(key, value) {
        send('notifyUserInteraction', 'action', key, value);
      },
      notifyEventValuePairEvent(event, value) {
        send(
          'notifyEventValuePairEvent',
          'actionWithValue',
          'event',
          event == null ? 'null' : event,
          'value',
          value == null ? 'null' : value
        );
      },
      playHTML5Video(selector) {
        send('playHTML5Video', 'playHTML5Video', 'selector', selector);
      },
      openPrivacy(url) {
        send('openPrivacy', 'openPrivacy', 'url', url);
      },
      requestMRAIDClose() {
        if (bridge.adInfo.isTovaneAd) {
          fireEvent('tovane.events.request.close');
        } else {
          send('requestMRAIDClose', 'close');
        }
      },
      notifySuccessfulViewAd() {
        send('notifySuccessfulViewAd', 'successfulView');
      },
      openAppInDevice() {
        send('openAppInDevice', 'openAppInDevice');
      },
      openStorePage() {
        send('openStorePage', 'openStorePage');
      },
      cancelDownload() {
        send('cancelDownload', 'cancelDownload');
      },
      startDownloadAppOnDevice() {
        send('startDownloadAppOnDevice', 'startDownloadAppOnDevice');
      },

      fireVideoCompleteEvent() {
        return fireEvent('tovane.events.video.ended');
      },
      firePrepareStoreSuccessEvent() {
        return fireEvent('tovane.events.preparestore.success');
      },
      firePrepareStoreFinishedEvent() {
        return fireEvent('tovane.events.preparestore.finished');
      },
      fireStoreOverlaySuccessEvent() {
        return fireEvent('tovane.events.storeoverlay.success');
      },
      fireStoreOverlayFinishedEvent() {
        return fireEvent('tovane.events.storeoverlay.finished');
      },
      fireStoreOverlayVisibleEvent() {
        return fireEvent('tovane.events.storeoverlay.visible');
      },
      fireStoreOverlayFailedEvent() {
        return fireEvent('tovane.events.storeoverlay.failed');
      },
      getInstallationStatus(status) {
        return fireEvent('tovane.events.installationStatus.updated', status);
      },

      getReplacementTokens() {
        return Object.assign({}, bridge.adInfo.replacementTokens);
      },
      getIsTovaneAd() {
        return bridge.adInfo.isTovaneAd;
      },
      getIsDirectDownload() {
        return bridge.adInfo.isDirectDownload;
      },
      getIsDisplayIAP() {
        return bridge.adInfo.isDisplayIAP;
      },
      getIsInstalled() {
        return bridge.adInfo.isInstalled;
      },
      getEnableBackButtonImmediately() {
        return core.propertiesHandlers.enableBackImmediately.clone();
      }
    });

    trace('mraidBridgeExt loaded.');
  })();

  // ---------------------------------------------------------------- mraid
  (function () {
    const mraid = namespace('mraid');
    const core = tovane.mraidCore;
    const bridge = tovane.mraidBridge;
    const { states, events, placements } = core.consts;
    const errors = tovane.error.mraidError;

    function get(name) {
      return core.propertiesHandlers[name].clone();
    }

    function reportError(action, code) {
      bridge.notifyErrorEvent(action, errors[code]);
    }

    // A value's type for the setters' check. Sizes arrive from the SDK as
    // decimal text, so a number and its decimal text are of one kind.
    function kind(value) {
      if (typeof value === 'string' && /^-?\d+(\.\d+)?$/.test(value)) return 'number';
      return typeof value;
    }

    // Checks a setter's object against the property's current value: every
    // key must already exist and keep its kind (useCustomClose may change
    // type). Each offence is reported; nothing is applied if any is found.
    function validate(property, changes) {
      const current = get(property);
      let valid = true;
      for (const key of Object.keys(changes)) {
        let offence;
        if (!Object.prototype.hasOwnProperty.call(current, key)) {
          offence = key;
        } else if (key !== 'useCustomClose' && kind(changes[key]) !== kind(current[key])) {
          offence = changes[key];
        } else {
          continue;
        }
        valid = false;
        tovane.mraidBridgeExt.notifyError(['MRD015', property, offence].join(':'));
      }
      return valid;
    }

    function canChangeSize() {
      const state = get('state');
      return state === states.DEFAULT || state === states.RESIZED;
    }

    define(mraid, {
      addEventListener(event, listener) {
        if (!event || typeof listener !== 'function') {
          reportError('addEventListener', 'MRD001');
          return;
        }
        if (!core.isKnownEvent(event)) {
          reportError('addEventListener', 'MRD000');
          return;
        }
        core.listeners[event].set(String(listener), listener);
      },

      removeEventListener(event, listener) {
        if (!event) {
          reportError('removeEventListener', 'MRD003');
          return;
        }
        const listeners = core.listeners[event];
        if (listener === undefined || listener === null) {
          if (listeners) {
            listeners.clear();
          } else {
            reportError('removeEventListener', 'MRD002');
          }
          return;
        }
        if (!listeners || !listeners.delete(String(listener))) {
          reportError('removeEventListener', 'MRD002');
        }
      },

      getVersion: () => get('version'),
      getMaxSize: () => get('maxSize'),
      getScreenSize: () => get('screenSize'),
      getDefaultPosition: () => get('defaultPosition'),
      getCurrentPosition: () => get('currentPosition'),
      getExpandProperties: () => get('expandProperties'),
      getResizeProperties: () => get('resizeProperties'),
      getOrientationProperties: () => get('orientationProperties'),
      getState: () => get('state'),
      getPlacementType: () => get('placementType'),

      setExpandProperties(properties) {
        if (!isObject(properties)) {
          reportError('setExpandProperties', 'MRD004');
          return;
        }
        // isModal is read-only.
        const changes = Object.assign({}, properties);
        delete changes.isModal;
        if (validate('expandProperties', changes)) {
          core.propertiesHandlers.expandProperties.update(changes);
        }
      },

      setResizeProperties(properties) {
        if (!isObject(properties)) {
          reportError('setResizeProperties', 'MRD006');
          return;
        }
        if (validate('resizeProperties', properties)) {
          core.propertiesHandlers.resizeProperties.update(Object.assign({}, properties));
        }
      },

      setOrientationProperties(properties) {
        if (!isObject(properties)) {
          reportError('setOrientationProperties', 'MRD005');
          return;
        }
        if (!validate('orientationProperties', properties)) {
          return;
        }
        core.propertiesHandlers.orientationProperties.update(Object.assign({}, properties));
        const current = get('orientationProperties');
        bridge.executeSDKCommand(
          'setOrientationProperties',
          'allowOrientationChange',
          current.allowOrientationChange,
          'forceOrientation',
          current.forceOrientation
        );
      },

      open(url) {
        if (!url) {
          reportError('open', 'MRD007');
          return;
        }
        bridge.executeSDKCommand('open', 'url', url);
      },

      close() {
        if (get('state') === states.HIDDEN) {
          reportError('close', 'MRD008');
          return;
        }
        bridge.executeSDKCommand('close');
      },

      expand(url) {
        if (get('placementType') !== placements.INLINE || !canChangeSize()) {
          reportError('expand', 'MRD011');
          return;
        }
        const params = ['useCustomClose', get('expandProperties').useCustomClose];
        if (url) {
          params.push('url', url);
        }
        bridge.executeSDKCommand('expand', ...params);
      },

      resize() {
        if (!canChangeSize()) {
          reportError('resize', 'MRD012');
          return;
        }
        const p = get('resizeProperties');
        bridge.executeSDKCommand(
          'resize',
          'width', p.width,
          'height', p.height,
          'offsetX', p.offsetX,
          'offsetY', p.offsetY,
          'customClosePosition', p.customClosePosition,
          'allowOffscreen', p.allowOffscreen
        );
      },

      supports(feature) {
        return isSet(get('supports')[feature]);
      },

      isViewable() {
        return isSet(get('isViewable'));
      },

      getViewable() {
        return mraid.isViewable();
      },

      useCustomClose(use) {
        let button;
        if (use === undefined) {
          button = 'gone';
        } else {
          button = use ? 'invisible' : 'visible';
        }
        bridge.executeSDKCommand('useCustomClose', 'sdkCloseButton', button);
      },

      playVideo(uri, captionUrl) {
        if (!mraid.isViewable()) {
          reportError('playVideo', 'MRD010');
          return;
        }
        if (!uri) {
          reportError('playVideo', 'MRD009');
          return;
        }
        bridge.executeSDKCommand('playVideo', 'uri', uri, 'captionUrl', captionUrl);
      },

      createCalendarEvent() {},

      storePicture(uri) {
        if (!mraid.isViewable()) {
          reportError('storePicture', 'MRD010');
          return;
        }
        if (!uri) {
          reportError('storePicture', 'MRD013');
          return;
        }
        bridge.executeSDKCommand('storePicture', 'uri', uri);
      },

      getConsentRequired: () => get('consentRequired'),
      getConsentTitleText: () => get('consentTitleText'),
      getConsentBodyText: () => get('consentBodyText'),
      getConsentAcceptButtonText: () => get('consentAcceptButtonText'),
      getConsentDenyButtonText: () => get('consentDenyButtonText')
    });

    if (!root.mraid) {
      root.mraid = mraid;
    }
    trace('mraid loaded.');
  })();

  // ---------------------------------------------------------------- mraidExt
  (function () {
    const ext = namespace('mraidExt');
    const core = tovane.mraidCore;
    const bridge = tovane.mraidBridge;
    const mraid = tovane.mraid;

    function get(name) {
      return core.propertiesHandlers[name].clone();
    }

    function storeCommand(action, appStoreId, options) {
      if (!appStoreId) {
        bridge.notifyErrorEvent(action, tovane.error.mraidError.MRD016);
        return;
      }
      const params = ['appStoreId', appStoreId];
      if (isObject(options)) {
        for (const key of Object.keys(options)) {
          params.push(key, options[key]);
        }
      }
      bridge.executeSDKCommand(action, ...params);
    }

    define(ext, {
      getConsentRequired: () => mraid.getConsentRequired(),
      getConsentTitleText: () => mraid.getConsentTitleText(),
      getConsentBodyText: () => mraid.getConsentBodyText(),
      getConsentAcceptButtonText: () => mraid.getConsentAcceptButtonText(),
      getConsentDenyButtonText: () => mraid.getConsentDenyButtonText(),

      prepareStoreView: (appStoreId) => storeCommand('prepareStoreView', appStoreId),
      presentStoreView: (appStoreId) => storeCommand('presentStoreView', appStoreId),
      dismissStoreOverlayView: (appStoreId) => storeCommand('dismissStoreOverlayView', appStoreId),
      prepareStoreOverlayView: (appStoreId, options) =>
        storeCommand('prepareStoreOverlayView', appStoreId, options),
      presentStoreOverlayView: (appStoreId, options) =>
        storeCommand('presentStoreOverlayView', appStoreId, options),

      getMraidVersion: () => 'v4.5.0',
      getOS: () => get('os'),
      getOSVersion: () => get('osVersion'),
      getSDKVersion: () => get('sdkVersion'),
      getIncentivized: () => get('incentivized'),

      useCustomPrivacy(use) {
        bridge.executeSDKCommand('useCustomPrivacy', 'useCustomPrivacy', use);
      }
    });

    trace('mraidExt loaded.');
  })();
})(window);
