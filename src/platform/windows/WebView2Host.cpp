#include "platform/windows/WebView2Host.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/Log.h"
#include "platform/Paths.h"
#include "platform/windows/ComCallback.h"
#include "platform/windows/Utf16.h"
#include "platform/windows/WebView2Environment.h"
#include "platform/windows/WebView2Runtime.h"

namespace kestrel {
namespace {

using namespace webview2;
using Microsoft::WRL::ComPtr;

using ControllerCreated = ComCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                                      ICoreWebView2Controller*>;
using ScriptAdded = ComCallback<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                                IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, HRESULT, LPCWSTR>;
using ScriptDone = ComCallback<ICoreWebView2ExecuteScriptCompletedHandler, IID_ICoreWebView2ExecuteScriptCompletedHandler,
                               HRESULT, LPCWSTR>;
using MessageHandler = ComCallback<ICoreWebView2WebMessageReceivedEventHandler,
                                   IID_ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                                   ICoreWebView2WebMessageReceivedEventArgs*>;
using NavigationHandler = ComCallback<ICoreWebView2NavigationCompletedEventHandler,
                                      IID_ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                                      ICoreWebView2NavigationCompletedEventArgs*>;
using PermissionHandler = ComCallback<ICoreWebView2PermissionRequestedEventHandler,
                                      IID_ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*,
                                      ICoreWebView2PermissionRequestedEventArgs*>;
using NewWindowHandler = ComCallback<ICoreWebView2NewWindowRequestedEventHandler,
                                     IID_ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                                     ICoreWebView2NewWindowRequestedEventArgs*>;
using ProcessFailedHandler = ComCallback<ICoreWebView2ProcessFailedEventHandler,
                                         IID_ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                                         ICoreWebView2ProcessFailedEventArgs*>;
using KeyHandler = ComCallback<ICoreWebView2AcceleratorKeyPressedEventHandler,
                               IID_ICoreWebView2AcceleratorKeyPressedEventHandler, ICoreWebView2Controller*,
                               ICoreWebView2AcceleratorKeyPressedEventArgs*>;

constexpr char kOriginDomain[] = ".kestrel.invalid";

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// A string the runtime allocated, as UTF-8; freed.
std::string Take(LPWSTR text) {
  if (!text) return {};
  std::string narrow = ToUtf8(text);
  CoTaskMemFree(text);
  return narrow;
}

// A host name of its own for every folder served: "ad<time>-<n>.kestrel.invalid".
std::string NewHostName() {
  static unsigned count = 0;
  return "ad" + std::to_string(GetTickCount64()) + "-" + std::to_string(++count) + kOriginDomain;
}

}  // namespace

const WebView2Runtime* WebView2Host::Prepare(const std::string& userDataFolder, std::string& failure) {
  const WebView2Runtime* runtime = WebView2Runtime::Find(failure);
  if (!runtime) return nullptr;
  // The apartment stays for the life of the thread: the environment outlives every play.
  thread_local bool inApartment = false;
  const HRESULT apartment = inApartment ? S_OK : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  inApartment = SUCCEEDED(apartment);
  if (apartment == RPC_E_CHANGED_MODE) {
    failure = "the window's thread is in a multithreaded COM apartment; WebView2 needs a single-threaded one.";
    return nullptr;
  }
  if (FAILED(apartment)) {
    failure = "COM could not be started on the window's thread (HRESULT " + Hex(apartment) + ").";
    return nullptr;
  }
  std::error_code error;
  std::filesystem::create_directories(PathFromUtf8(userDataFolder), error);
  if (error) {
    failure = "the WebView2 user data folder " + userDataFolder + " could not be created: " + error.message();
    return nullptr;
  }
  return runtime;
}

bool WebView2Host::StartEnvironment(const std::string& userDataFolder, std::string& failure) {
  const WebView2Runtime* runtime = Prepare(userDataFolder, failure);
  if (!runtime) return false;
  const HRESULT started = WebView2Environment::Request(*runtime, ToUtf16(userDataFolder), [](HRESULT result, auto*) {
    if (FAILED(result)) LogWarn("WebView2 could not be started ahead of the first play (HRESULT " + Hex(result) + ").");
  });
  if (FAILED(started)) failure = "the WebView2 environment could not be created (HRESULT " + Hex(started) + ").";
  return SUCCEEDED(started);
}

std::unique_ptr<WebView2Host> WebView2Host::Create(HWND window, const std::string& userDataFolder, Events events,
                                                   std::string& failure) {
  const WebView2Runtime* runtime = Prepare(userDataFolder, failure);
  if (!runtime) return nullptr;
  std::unique_ptr<WebView2Host> host(new WebView2Host(window, std::move(events), *runtime, ToUtf16(userDataFolder)));
  // The runtime may answer inside the call: failures until it returns are kept here.
  const HRESULT started = host->RequestEnvironment();
  host->m_starting = false;
  if (FAILED(started)) host->m_startFailure = "the WebView2 environment could not be created (HRESULT " + Hex(started) + ").";
  if (!host->m_startFailure.empty()) {
    failure = host->m_startFailure;
    return nullptr;
  }
  return host;
}

WebView2Host::WebView2Host(HWND window, Events events, const WebView2Runtime& runtime, std::wstring userDataFolder)
    : m_window(window),
      m_events(std::move(events)),
      m_runtime(runtime),
      m_userDataFolder(std::move(userDataFolder)),
      m_version(runtime.Version()),
      m_self(std::make_shared<WebView2Host*>(this)) {}

WebView2Host::~WebView2Host() {
  m_self.reset();
  for (auto removal = m_removals.rbegin(); removal != m_removals.rend(); ++removal) (*removal)();
  m_removals.clear();
  m_view.Reset();
  if (m_controller) m_controller->Close();
}

HRESULT WebView2Host::RequestEnvironment() {
  return WebView2Environment::Request(m_runtime, m_userDataFolder,
                                      [weak = Weak(m_self)](HRESULT result, ICoreWebView2Environment* environment) {
                                        if (auto self = weak.lock()) (*self)->OnEnvironment(result, environment);
                                      });
}

void WebView2Host::OnEnvironment(HRESULT result, ICoreWebView2Environment* environment) {
  if (FAILED(result) || !environment) {
    Fail("the WebView2 environment could not be created (HRESULT " + Hex(FAILED(result) ? result : E_POINTER) + ").");
    return;
  }
  auto* handler = ControllerCreated::Create([weak = Weak(m_self)](HRESULT created, ICoreWebView2Controller* controller) {
    if (auto self = weak.lock()) {
      (*self)->OnController(created, controller);
    } else if (controller) {
      controller->Close();  // its play ended while it was being made
    }
    return S_OK;
  });
  const HRESULT started = environment->CreateCoreWebView2Controller(m_window, handler);
  handler->Release();
  if (FAILED(started)) Fail("the WebView2 controller could not be created (HRESULT " + Hex(started) + ").");
}

void WebView2Host::OnController(HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || !controller) {
    const HRESULT why = FAILED(result) ? result : E_POINTER;
    // Made again once, from a new environment, unless the folder is in use with
    // other options (invalid state) or the window went (abort): those stay.
    if (!m_retried && why != HRESULT_FROM_WIN32(ERROR_INVALID_STATE) && why != E_ABORT && IsWindow(m_window)) {
      m_retried = true;
      LogWarn("The WebView2 controller could not be created (HRESULT " + Hex(why) + "); trying once more.");
      WebView2Environment::Forget();
      const HRESULT started = RequestEnvironment();
      if (FAILED(started)) Fail("the WebView2 environment could not be created (HRESULT " + Hex(started) + ").");
      return;
    }
    Fail("the WebView2 controller could not be created (HRESULT " + Hex(why) + ").");
    return;
  }
  m_controller = controller;
  ComPtr<ICoreWebView2> view;
  HRESULT got = m_controller->get_CoreWebView2(&view);
  if (SUCCEEDED(got)) got = view ? view->QueryInterface(IID_ICoreWebView2_3, &m_view) : E_POINTER;
  if (FAILED(got) || !m_view) {
    Fail("the WebView2 runtime is too old to serve the ad's folder (HRESULT " + Hex(FAILED(got) ? got : E_NOINTERFACE) +
         ").");
    return;
  }
  // Black, as the overlay is, until the page paints: no white flash.
  ComPtr<ICoreWebView2Controller2> controller2;
  if (SUCCEEDED(m_controller->QueryInterface(IID_ICoreWebView2Controller2, &controller2)) && controller2) {
    controller2->put_DefaultBackgroundColor(COREWEBVIEW2_COLOR{255, 0, 0, 0});
  }
  Configure();
  if (AddEventHandlers()) ApplyPending();  // else the host may be gone
}

void WebView2Host::Configure() {
  ComPtr<ICoreWebView2Settings> settings;
  if (FAILED(m_view->get_Settings(&settings)) || !settings) {
    LogWarn("The WebView2 settings could not be read; dev tools and menus stay as they are.");
    return;
  }
  settings->put_AreDevToolsEnabled(FALSE);
  settings->put_AreDefaultContextMenusEnabled(FALSE);
  settings->put_IsStatusBarEnabled(FALSE);
  settings->put_IsZoomControlEnabled(FALSE);  // Ctrl+wheel, Ctrl+Plus and pinch
  // Reload, find, print, save, history and the like: a reloaded page loses its bridge.
  ComPtr<ICoreWebView2Settings3> settings3;
  if (FAILED(settings->QueryInterface(IID_ICoreWebView2Settings3, &settings3)) || !settings3 ||
      FAILED(settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE))) {
    LogWarn("This WebView2 runtime cannot turn off the browser's keys: F5 and Ctrl+R reload the ad.");
  }
}

bool WebView2Host::AddEventHandlers() {
  const Weak weak(m_self);
  auto* message = MessageHandler::Create([weak](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
    auto self = weak.lock();
    if (!self) return S_OK;
    LPWSTR text = nullptr;
    LPWSTR source = nullptr;
    if (FAILED(args->get_WebMessageAsJson(&text)) || !text) return S_OK;
    const std::string json = Take(text);
    args->get_Source(&source);
    const std::string from = Take(source);
    if (!(*self)->FromServedOrigin(from)) {
      LogWarn("A message from " + from + ", outside the ad's origin, was dropped.");
      return S_OK;
    }
    const auto received = (*self)->m_events.webMessageReceived;  // the host may go inside
    if (received) received(json);
    return S_OK;
  });
  auto* navigation = NavigationHandler::Create([weak](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*) {
    auto self = weak.lock();
    if (!self) return S_OK;
    const auto completed = (*self)->m_events.navigationCompleted;
    if (completed) completed();
    return S_OK;
  });
  auto* permission = PermissionHandler::Create([weak](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
    auto self = weak.lock();
    COREWEBVIEW2_PERMISSION_KIND kind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
    if (!self || FAILED(args->get_PermissionKind(&kind))) return S_OK;
    const auto ask = (*self)->m_events.permissionRequested;
    const Permission asked = kind == COREWEBVIEW2_PERMISSION_KIND_MICROPHONE ? Permission::Microphone
                             : kind == COREWEBVIEW2_PERMISSION_KIND_CAMERA   ? Permission::Camera
                                                                             : Permission::Other;
    if (ask && ask(asked)) args->put_State(COREWEBVIEW2_PERMISSION_STATE_DENY);
    return S_OK;
  });
  // No pop-up ever opens: the view decides what becomes of it.
  auto* newWindow = NewWindowHandler::Create([weak](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
    args->put_Handled(TRUE);
    auto self = weak.lock();
    if (!self) return S_OK;
    LPWSTR uri = nullptr;
    BOOL byUser = FALSE;
    args->get_Uri(&uri);
    const std::string target = Take(uri);
    args->get_IsUserInitiated(&byUser);
    if (const auto asked = (*self)->m_events.newWindowRequested) asked(target, byUser != FALSE);
    return S_OK;
  });
  auto* processFailed = ProcessFailedHandler::Create([weak](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
    auto self = weak.lock();
    COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
    if (!self || FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
    const std::string what = "the WebView2 browser's process failed (kind " + std::to_string(kind) + ").";
    // Helper processes (GPU, utility) come back on their own.
    if (kind > COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE) {
      LogWarn(what + " The ad goes on.");
      return S_OK;
    }
    if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED) WebView2Environment::Forget();
    (*self)->Fail(what);
    return S_OK;
  });
  // Escape while the page has the keyboard, which the overlay's own key
  // handler never sees then. The browser waits on this handler: it only decides.
  auto* keys = KeyHandler::Create([weak](ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
    auto self = weak.lock();
    COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
    UINT key = 0;
    COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
    if (!self || FAILED(args->get_KeyEventKind(&kind)) || FAILED(args->get_VirtualKey(&key)) ||
        FAILED(args->get_PhysicalKeyStatus(&status))) {
      return S_OK;
    }
    if (kind != COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN || key != VK_ESCAPE || status.WasKeyDown) return S_OK;
    const auto pressed = (*self)->m_events.escapePressed;
    if (pressed && pressed()) args->put_Handled(TRUE);
    return S_OK;
  });
  std::string failure;
  Register("WebMessageReceived", m_view.Get(), &ICoreWebView2::add_WebMessageReceived,
           &ICoreWebView2::remove_WebMessageReceived, message, failure);
  Register("NavigationCompleted", m_view.Get(), &ICoreWebView2::add_NavigationCompleted,
           &ICoreWebView2::remove_NavigationCompleted, navigation, failure);
  Register("PermissionRequested", m_view.Get(), &ICoreWebView2::add_PermissionRequested,
           &ICoreWebView2::remove_PermissionRequested, permission, failure);
  Register("NewWindowRequested", m_view.Get(), &ICoreWebView2::add_NewWindowRequested,
           &ICoreWebView2::remove_NewWindowRequested, newWindow, failure);
  Register("ProcessFailed", m_view.Get(), &ICoreWebView2::add_ProcessFailed, &ICoreWebView2::remove_ProcessFailed,
           processFailed, failure);
  Register("AcceleratorKeyPressed", m_controller.Get(), &ICoreWebView2Controller::add_AcceleratorKeyPressed,
           &ICoreWebView2Controller::remove_AcceleratorKeyPressed, keys, failure);
  if (failure.empty()) return true;
  // Without its handlers the ad could neither close nor reward.
  Fail(failure);
  return false;
}

template <typename Object, typename Source, typename Handler>
void WebView2Host::Register(const char* event, Object* object,
                            HRESULT (STDMETHODCALLTYPE Source::*add)(Handler*, EventRegistrationToken*),
                            HRESULT (STDMETHODCALLTYPE Source::*remove)(EventRegistrationToken), Handler* handler,
                            std::string& failure) {
  EventRegistrationToken token{};
  const HRESULT result = failure.empty() ? (object->*add)(handler, &token) : E_ABORT;
  handler->Release();
  if (!failure.empty()) return;
  if (FAILED(result)) {
    failure = std::string("the WebView2 ") + event + " handler could not be registered (HRESULT " + Hex(result) + ").";
    return;
  }
  m_removals.push_back([source = ComPtr<Object>(object), remove, token] { (source.Get()->*remove)(token); });
}

void WebView2Host::Apply(std::function<void()> step) {
  m_pending.push_back(std::move(step));
  if (m_view) ApplyPending();
}

void WebView2Host::ApplyPending() {
  // A step that adds a script holds back the ones after it until the script is
  // in. A runtime that answers inside the call may end the host in a step.
  const Weak alive(m_self);
  while (!alive.expired() && m_view && m_scriptsBeingAdded == 0 && !m_pending.empty()) {
    auto step = std::move(m_pending.front());
    m_pending.erase(m_pending.begin());
    step();
  }
}

void WebView2Host::Fail(const std::string& reason) {
  if (m_failed) return;
  m_failed = true;
  m_pending.clear();
  if (m_starting) {
    m_startFailure = reason;
    return;
  }
  const auto failed = m_events.failed;  // the host may go inside
  if (failed) failed(reason);
}

bool WebView2Host::FromServedOrigin(const std::string& source) const {
  for (const auto& origin : m_servedOrigins) {
    if (source.rfind(origin, 0) == 0) return true;
  }
  return false;
}

void WebView2Host::AddScriptToExecuteOnDocumentCreated(const std::string& script) {
  Apply([this, script = ToUtf16(script)] {
    auto* added = ScriptAdded::Create([weak = Weak(m_self)](HRESULT result, LPCWSTR) {
      auto self = weak.lock();
      if (!self) return S_OK;
      WebView2Host* host = *self;
      --host->m_scriptsBeingAdded;
      if (FAILED(result)) {
        host->Fail("the ad's scripts could not be added to the page (HRESULT " + Hex(result) + ").");
        return S_OK;
      }
      host->ApplyPending();
      return S_OK;
    });
    ++m_scriptsBeingAdded;
    const HRESULT result = m_view->AddScriptToExecuteOnDocumentCreated(script.c_str(), added);
    added->Release();
    if (FAILED(result)) {
      --m_scriptsBeingAdded;
      LogError("A script could not be added to the page (HRESULT " + Hex(result) + ").");
    }
  });
}

std::string WebView2Host::ServeFolder(const std::string& folder) {
  const std::string host = NewHostName();
  const std::string origin = "https://" + host + "/";
  m_servedOrigins.push_back(origin);
  Apply([this, host = ToUtf16(host), folder = ToUtf16(folder)] {
    const HRESULT result =
        m_view->SetVirtualHostNameToFolderMapping(host.c_str(), folder.c_str(), COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY);
    if (FAILED(result)) LogError("The ad's folder could not be served (HRESULT " + Hex(result) + ").");
  });
  return origin;
}

void WebView2Host::Navigate(const std::string& url) {
  Apply([this, url = ToUtf16(url)] {
    const HRESULT result = m_view->Navigate(url.c_str());
    if (FAILED(result)) LogError("The ad's page could not be opened (HRESULT " + Hex(result) + ").");
  });
}

void WebView2Host::ExecuteScript(const std::string& script, ScriptCompleted completed) {
  Apply([this, script = ToUtf16(script), completed = std::move(completed)] {
    ScriptDone::Function done;
    if (completed) {
      done = [weak = Weak(m_self), completed](HRESULT result, LPCWSTR json) {
        if (weak.expired()) return S_OK;
        if (FAILED(result)) {
          completed(static_cast<int>(result), {});
        } else {
          completed(0, json ? ToUtf8(json) : std::string());
        }
        return S_OK;
      };
    }
    auto* handler = ScriptDone::Create(std::move(done));
    const HRESULT result = m_view->ExecuteScript(script.c_str(), handler);
    handler->Release();
    if (FAILED(result) && completed) completed(static_cast<int>(result), {});
  });
}

void WebView2Host::Show() {
  Apply([this] {
    RECT bounds{};
    GetClientRect(m_window, &bounds);
    m_controller->put_Bounds(bounds);
    // Its pop-ups, menus and screen position follow the window.
    m_controller->NotifyParentWindowPositionChanged();
    m_controller->put_IsVisible(TRUE);
    m_controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  });
}

void WebView2Host::MoveFocus() {
  Apply([this] { m_controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC); });
}

void WebView2Host::Stop() {
  if (!m_view) {
    m_pending.clear();  // nothing was shown yet: nothing more will be
    return;
  }
  Apply([this] {
    if (FAILED(m_view->Stop())) LogError("Failed to stop WebView2 instance.");
  });
}

void WebView2Host::EndPageProcess() {
  // The page's renderer belongs to this controller, which closes with the host.
  LogWarn("The page does not answer; its browser closes with the ad.");
}

void WebView2Host::SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) {
  LogWarn("Snapshots of the ad are not taken on Windows: " + pngPath + " was not saved.");
  if (done) done(false);
}

}  // namespace kestrel
