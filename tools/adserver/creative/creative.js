/*
 * Kestrel sample creative: an interstitial driven through the MRAID bridge.
 * It waits for the ready event, reads the properties and replacement tokens,
 * fires tracking events, reports a successful view after a countdown, offers a
 * click-through and a close button, and asks for consent when required.
 * Opened without a bridge (in a plain browser) it runs as a preview.
 */
(function () {
  'use strict';

  var started = false;
  var viewed = false;
  var closing = false;
  var tokens = {};

  function $(id) { return document.getElementById(id); }
  function isTrue(value) { return String(value) === 'true'; }
  function ext() { return window.tovane && window.tovane.mraidBridgeExt; }

  function token(name, fallback) {
    var value = tokens[name];
    return typeof value === 'string' && value !== '' ? value : fallback;
  }

  function seconds(name, fallback) {
    var n = parseInt(token(name, ''), 10);
    return isNaN(n) || n < 0 ? fallback : n;
  }

  function status(text) { $('status').textContent = text; }

  // Image tokens hold a URL or, for files the SDK saved, a local path.
  function imageSource(value) {
    if (/^[a-z]:[\\\/]/i.test(value)) return encodeURI('file:///' + value.replace(/\\/g, '/'));
    if (value.charAt(0) === '/') return encodeURI('file://' + value.replace(/\\/g, '/'));
    return value;
  }

  function showImage(img, value) {
    if (!value) { img.hidden = true; return; }
    img.onerror = function () { img.hidden = true; };
    img.src = imageSource(value);
  }

  function incentivized() {
    var api = window.tovane && window.tovane.mraidExt;
    return !!(api && api.getIncentivized && isTrue(api.getIncentivized()));
  }

  function consentRequired() {
    return !!(window.mraid && window.mraid.getConsentRequired && isTrue(window.mraid.getConsentRequired()));
  }

  function track(event) {
    var api = ext();
    if (api && api.notifyTPAT) api.notifyTPAT(event);
  }

  function render() {
    $('title').textContent = token('TITLE', 'Kestrel sample ad');
    $('body-text').textContent = token('BODY_TEXT', '');
    $('cta').textContent = token('CTA_TEXT', 'Learn more');
    showImage($('hero'), token('MAIN_IMAGE', ''));
    showImage($('icon'), token('APP_ICON', ''));
    var type = window.mraid ? window.mraid.getPlacementType() : 'preview';
    status('placement ' + token('PLACEMENT_ID', '?') + ' \u00b7 ' + type +
           (incentivized() ? ' \u00b7 rewarded' : '') + ' \u00b7 asoi ' + token('ASOI_SETTINGS', '-'));
  }

  function close() {
    if (closing) return;
    closing = true;
    track('close');
    if (window.mraid) {
      window.mraid.close();
    } else {
      document.body.classList.add('closed');
    }
  }

  function onViewed() {
    viewed = true;
    $('countdown').textContent = incentivized() ? 'Reward earned' : '';
    track('successful_view');
    var api = ext();
    if (api && api.notifySuccessfulViewAd) api.notifySuccessfulViewAd();
    var autoClose = seconds('AUTO_CLOSE_SECONDS', 0);
    if (autoClose > 0) setTimeout(close, autoClose * 1000);
  }

  function countdown() {
    var left = seconds('COUNTDOWN_SECONDS', 3);
    var label = incentivized() ? 'Reward in ' : 'Ad ends in ';
    function tick() {
      if (left <= 0) { onViewed(); return; }
      $('countdown').textContent = label + left + ' s';
      left -= 1;
      setTimeout(tick, 1000);
    }
    tick();
  }

  function showConsent() {
    var mraid = window.mraid;
    $('consent-title').textContent = mraid.getConsentTitleText();
    $('consent-body').textContent = mraid.getConsentBodyText();
    $('consent-accept').textContent = mraid.getConsentAcceptButtonText() || 'Accept';
    $('consent-deny').textContent = mraid.getConsentDenyButtonText() || 'Deny';
    $('consent').hidden = false;
  }

  function answerConsent(choice) {
    $('consent').hidden = true;
    var api = ext();
    if (api && api.consentAction) api.consentAction(choice);
    track('consent');
  }

  function askToLeave() {
    $('leave-title').textContent = token('INCENTIVIZED_TITLE_TEXT', 'Close this ad?');
    $('leave-body').textContent = token('INCENTIVIZED_BODY_TEXT', 'You will lose your reward.');
    $('leave-close').textContent = token('INCENTIVIZED_CLOSE_TEXT', 'Close');
    $('leave-continue').textContent = token('INCENTIVIZED_CONTINUE_TEXT', 'Keep watching');
    $('leave').hidden = false;
  }

  function start() {
    if (started) return;
    started = true;
    var api = ext();
    tokens = (api && api.getReplacementTokens && api.getReplacementTokens()) || {};
    render();
    if (window.mraid) window.mraid.useCustomClose(true);
    track('impression');
    if (consentRequired()) showConsent();
    countdown();
  }

  function wire() {
    $('close').onclick = function () {
      if (incentivized() && !viewed) { askToLeave(); } else { close(); }
    };
    $('cta').onclick = function () {
      track('click');
      var url = token('CTA_URL', 'https://www.example.com/');
      if (window.mraid) { window.mraid.open(url); } else { status('Preview: would open ' + url); }
    };
    $('consent-accept').onclick = function () { answerConsent('opted_in'); };
    $('consent-deny').onclick = function () { answerConsent('opted_out'); };
    $('leave-continue').onclick = function () { $('leave').hidden = true; };
    $('leave-close').onclick = close;
  }

  function boot() {
    wire();
    var mraid = window.mraid;
    if (!mraid) {
      start();
      status('Preview: no MRAID bridge on this page');
      return;
    }
    mraid.addEventListener('error', function (message, action) {
      status('MRAID error: ' + message + (action ? ' (' + action + ')' : ''));
    });
    if (mraid.getState() === 'loading') {
      mraid.addEventListener('ready', start);
    } else {
      start();
    }
  }

  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', boot);
  } else {
    boot();
  }
}());
