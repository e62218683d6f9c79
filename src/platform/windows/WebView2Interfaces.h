#pragma once
// The WebView2 COM interfaces the web view host calls, declared by hand.
// Each interface lists its methods in vtable order, with their exact types, up
// to the last method the host uses: a published COM interface never changes,
// and a method out of place calls another one. No virtual destructors, no data
// members. The interface ids are plain constants (there is no __uuidof here).
#pragma GCC system_header

#include <windows.h>
#include <objbase.h>
#include <unknwn.h>
#include <eventtoken.h>

namespace kestrel::webview2 {

enum COREWEBVIEW2_MOVE_FOCUS_REASON : int { COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0 };
enum COREWEBVIEW2_PERMISSION_KIND : int {
  COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION = 0,
  COREWEBVIEW2_PERMISSION_KIND_MICROPHONE = 1,
  COREWEBVIEW2_PERMISSION_KIND_CAMERA = 2,
};
enum COREWEBVIEW2_PERMISSION_STATE : int {
  COREWEBVIEW2_PERMISSION_STATE_DEFAULT = 0,
  COREWEBVIEW2_PERMISSION_STATE_ALLOW = 1,
  COREWEBVIEW2_PERMISSION_STATE_DENY = 2,
};
enum COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND : int { COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY = 0 };
enum COREWEBVIEW2_WEB_ERROR_STATUS : int { COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN = 0 };
enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT : int { COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0 };
enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT : int { COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0 };
enum COREWEBVIEW2_PROCESS_FAILED_KIND : int {
  COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED = 1,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE = 2,
};
enum COREWEBVIEW2_KEY_EVENT_KIND : int {
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN = 0,
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP = 1,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN = 2,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP = 3,
};
// A key message's LPARAM, decoded.
struct COREWEBVIEW2_PHYSICAL_KEY_STATUS {
  UINT32 RepeatCount;
  UINT32 ScanCode;
  BOOL IsExtendedKey;
  BOOL IsMenuKeyDown;
  BOOL WasKeyDown;
  BOOL IsKeyReleased;
};
struct COREWEBVIEW2_COLOR {
  BYTE A;  // 0 transparent, 255 opaque; nothing in between
  BYTE R;
  BYTE G;
  BYTE B;
};

// Types that only appear in the parameters of methods the host never calls.
struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2Deferral;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2AcceleratorKeyPressedEventArgs;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2CookieManager;
struct ICoreWebView2TrySuspendCompletedHandler;
struct ICoreWebView2WindowFeatures;

inline constexpr IID IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler = {
    0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
inline constexpr IID IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler = {
    0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
inline constexpr IID IID_ICoreWebView2_3 = {
    0xa0d6df20, 0x3b92, 0x416d, {0xaa, 0x0c, 0x43, 0x7a, 0x9c, 0x72, 0x78, 0x57}};
inline constexpr IID IID_ICoreWebView2ExecuteScriptCompletedHandler = {
    0x49511172, 0xcc67, 0x4bca, {0x99, 0x23, 0x13, 0x71, 0x12, 0xf4, 0xc4, 0xcc}};
inline constexpr IID IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler = {
    0xb99369f3, 0x9b11, 0x47b5, {0xbc, 0x6f, 0x8e, 0x78, 0x95, 0xfc, 0xea, 0x17}};
inline constexpr IID IID_ICoreWebView2WebMessageReceivedEventHandler = {
    0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
inline constexpr IID IID_ICoreWebView2NavigationCompletedEventHandler = {
    0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};
inline constexpr IID IID_ICoreWebView2PermissionRequestedEventHandler = {
    0x15e1c6a3, 0xc72a, 0x4df3, {0x91, 0xd7, 0xd0, 0x97, 0xfb, 0xec, 0x6b, 0xfd}};
inline constexpr IID IID_ICoreWebView2NewWindowRequestedEventHandler = {
    0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
inline constexpr IID IID_ICoreWebView2ProcessFailedEventHandler = {
    0x79e0aea4, 0x990b, 0x42d9, {0xaa, 0x1d, 0x0f, 0xcc, 0x2e, 0x5b, 0xc7, 0xf1}};
inline constexpr IID IID_ICoreWebView2AcceleratorKeyPressedEventHandler = {
    0xb29c7e28, 0xfa79, 0x41a8, {0x8e, 0x44, 0x65, 0x81, 0x1c, 0x76, 0xdc, 0xb2}};
inline constexpr IID IID_ICoreWebView2Settings3 = {
    0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};
inline constexpr IID IID_ICoreWebView2Controller2 = {
    0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* result) = 0;
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* result) = 0;
};

struct ICoreWebView2Environment : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase,
                                                              LPCWSTR headers,
                                                              ICoreWebView2WebResourceResponse** response) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;  // 5
};

struct ICoreWebView2Controller : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler* eventHandler,
                                                          EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                                 EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                                  EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
      ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                           // 24
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;  // 25
};

struct ICoreWebView2Controller2 : public ICoreWebView2Controller {
  virtual HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* color) = 0;  // 26
  virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR color) = 0;   // 27, by value
};

struct ICoreWebView2Settings : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* isScriptEnabled) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL isScriptEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* isWebMessageEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL isWebMessageEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* areDefaultScriptDialogsEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL areDefaultScriptDialogsEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* isStatusBarEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL isStatusBarEnabled) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* areDevToolsEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL areDevToolsEnabled) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;  // 14
  virtual HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* allowed) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL enabled) = 0;  // 20
};

struct ICoreWebView2Settings2 : public ICoreWebView2Settings {
  virtual HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* userAgent) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR userAgent) = 0;
};

struct ICoreWebView2Settings3 : public ICoreWebView2Settings2 {
  virtual HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* enabled) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL enabled) = 0;   // 24
};

struct ICoreWebView2 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(ICoreWebView2ContentLoadingEventHandler* eventHandler,
                                                       EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken token) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(ICoreWebView2SourceChangedEventHandler* eventHandler,
                                                      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler* eventHandler,
                                                       EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                                                            EventRegistrationToken* token) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(
      ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(
      ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken token) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler,
                                                            EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(
      ICoreWebView2PermissionRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* eventHandler,
                                                      EventRegistrationToken* token) = 0;  // 25
  virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;  // 27
  virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR javaScript,
                                                  ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;  // 29
  virtual HRESULT STDMETHODCALLTYPE CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat,
                                                   IStream* imageStream,
                                                   ICoreWebView2CapturePreviewCompletedHandler* handler) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                           EventRegistrationToken* token) = 0;  // 34
  virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
      LPCWSTR methodName, LPCWSTR parametersAsJson, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;
  virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;  // 40
  virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
      LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;  // 43
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;  // 44
  virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(
      ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;  // 50
  virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
      ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* containsFullScreenElement) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
      ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(
      ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken token) = 0;  // 60
};

struct ICoreWebView2_2 : public ICoreWebView2 {
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(
      ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler, EventRegistrationToken* token) = 0;  // 61
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceResponseReceived(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* eventHandler,
                                                         EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager** cookieManager) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) = 0;  // 67
};

struct ICoreWebView2_3 : public ICoreWebView2_2 {
  virtual HRESULT STDMETHODCALLTYPE TrySuspend(ICoreWebView2TrySuspendCompletedHandler* handler) = 0;  // 68
  virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL* isSuspended) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR hostName, LPCWSTR folderPath, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND accessKind) = 0;  // 71
};

struct ICoreWebView2WebMessageReceivedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* value) = 0;            // 3
  virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* value) = 0;  // 4
};

struct ICoreWebView2PermissionRequestedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* permissionKind) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_PERMISSION_STATE* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) = 0;  // 7
};

struct ICoreWebView2NavigationCompletedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) = 0;  // 3
};

struct ICoreWebView2NewWindowRequestedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;  // 8
};

struct ICoreWebView2ProcessFailedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) = 0;  // 3
};

struct ICoreWebView2AcceleratorKeyPressedEventArgs : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* kind) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;   // 8
};

// Handlers: the host implements these; Invoke is slot 3 of each.
struct ICoreWebView2ExecuteScriptCompletedHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR result) = 0;
};
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR result) = 0;
};
struct ICoreWebView2WebMessageReceivedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) = 0;
};
struct ICoreWebView2NavigationCompletedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};
struct ICoreWebView2PermissionRequestedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2PermissionRequestedEventArgs* args) = 0;
};
struct ICoreWebView2NewWindowRequestedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};
struct ICoreWebView2ProcessFailedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args) = 0;
};
// Called while the browser waits: the handler must be short.
struct ICoreWebView2AcceleratorKeyPressedEventHandler : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2Controller* sender,
                                           ICoreWebView2AcceleratorKeyPressedEventArgs* args) = 0;
};

// The runtime's own entry point (what WebView2Loader.dll calls): `flag` 1,
// `runtimeType` 0 for an installed runtime and 1 for a fixed-version folder,
// no options. The environment arrives through the handler, on this thread.
using CreateWebViewEnvironmentWithOptionsInternal = HRESULT(STDMETHODCALLTYPE*)(
    int flag, int runtimeType, PCWSTR userDataFolder, IUnknown* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace kestrel::webview2
