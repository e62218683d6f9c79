// A stand-in for the WebView2 runtime's EmbeddedBrowserWebView.dll, for tests
// under Wine where the real runtime cannot run. Its objects are plain tables
// of function pointers filled by slot number, written from the published slot
// order and not from the SDK's declarations: a host that calls a wrong slot
// reaches a wrong entry, or one that records "bad slot" and fails. It answers
// through the calling thread's message queue (or, in one mode, inside the
// call), records what the host did, and exports hooks that let a test act as
// the page and as the browser. As the runtime's, its controllers' windows sit
// over the parent, raised on every move, and take the keyboard (PressKey).
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using Slot = void (*)();  // a table entry; casts to and from it are exact
constexpr int kSlots = 73;

enum Table { kEnvironment, kController, kView, kSettings, kMessageArgs, kPermissionArgs, kNavigationArgs,
             kNewWindowArgs, kProcessArgs, kKeyArgs, kTables };

std::vector<std::string> g_calls;
void Record(const std::string& call) { g_calls.push_back(call); }
HRESULT Note(const std::string& call) {
  Record(call);
  return S_OK;
}

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  if (!text) return narrow;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  narrow.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 1u);
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), bytes, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
}

LPWSTR Allocate(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy) std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
  return copy;
}

constexpr GUID kIUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kView3Id = {0xa0d6df20, 0x3b92, 0x416d, {0xaa, 0x0c, 0x43, 0x7a, 0x9c, 0x72, 0x78, 0x57}};
constexpr GUID kSettings3Id = {0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};
constexpr GUID kController2Id = {0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};
constexpr GUID kEnvironmentCreatedId = {0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};

// Every object: its table first, as COM wants, then a count and what it holds.
struct Object {
  Slot* table;
  LONG references = 1;
  Table kind;
  std::function<void()> destroyed;
};

// What raises events: the web view, and the controller (its keys).
struct Source : Object {
  std::map<int, std::vector<std::pair<INT64, Object*>>> handlers;  // add_ slot: token, handler
};
struct Settings : Object {
  BOOL browserKeys = TRUE, zoom = TRUE;
};
struct View;
struct Controller : Source {
  View* view = nullptr;
  HWND window = nullptr;  // the browser's child window in the parent
  bool closed = false;
};
struct View : Source {
  std::wstring source;
  Settings* settings = nullptr;
};
struct Args : Object {
  std::wstring text, source;
  int number = 0;   // permission, process or key event kind
  int state = 0;    // permission state, or Handled
  BOOL byUser = TRUE;
  UINT key = 0;
  LPARAM lParam = 0;
};

Slot g_tables[kTables][kSlots];
int g_liveControllers = 0;
int g_liveEnvironments = 0;  // each is a browser process; its controllers keep it
HRESULT g_failure[2] = {S_OK, S_OK};  // environment, controller creation
int g_failuresLeft[2] = {0, 0};
std::map<int, HRESULT> g_failAdd;  // add_ slot: what it answers
bool g_atOnce = false;  // completion handlers run inside the call
View* g_view = nullptr;  // the newest web view
HWND g_queue = nullptr;
INT64 g_nextToken = 0;

template <typename F>
void Set(Table table, int slot, F function) {
  g_tables[table][slot] = reinterpret_cast<Slot>(function);
}

ULONG AddRef(void* object) {
  return static_cast<ULONG>(++static_cast<Object*>(object)->references);
}
ULONG Release(void* object) {
  auto* self = static_cast<Object*>(object);
  const LONG left = --self->references;
  if (left == 0) {
    if (self->destroyed) self->destroyed();
    delete self;
  }
  return static_cast<ULONG>(left);
}

// Calls slot `slot` of a COM object the host made (its handlers).
template <typename... Args>
HRESULT Call(void* object, int slot, Args... args) {
  Slot* table = *static_cast<Slot**>(object);
  return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, Args...)>(table[slot])(object, args...);
}
void HostAddRef(void* object) { Call(object, 1); }
void HostRelease(void* object) { Call(object, 2); }

template <int T, int S>
HRESULT STDMETHODCALLTYPE BadSlot(void*) {
  Record("bad slot " + std::to_string(T) + " " + std::to_string(S));  // table (enum Table), slot
  return E_NOTIMPL;
}
template <int T, int... S>
void FillBad(std::integer_sequence<int, S...>) {
  ((g_tables[T][S] = reinterpret_cast<Slot>(&BadSlot<T, S>)), ...);
}
template <int... T>
void FillAllBad(std::integer_sequence<int, T...>) {
  (FillBad<T>(std::make_integer_sequence<int, kSlots>()), ...);
}

// Later, on the thread that created the environment, through its queue.
LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_APP) return DefWindowProcW(window, message, wParam, lParam);
  auto* work = reinterpret_cast<std::function<void()>*>(lParam);
  (*work)();
  delete work;
  return 0;
}
void Later(std::function<void()> work) {
  PostMessageW(g_queue, WM_APP, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(work))));
}
// A completion handler's answer: later, or inside the call in that mode.
void Answer(std::function<void()> work) {
  if (g_atOnce) {
    work();
  } else {
    Later(std::move(work));
  }
}
// The next creation of the kind fails, while failures are left.
HRESULT CreationResult(int which) {
  if (g_failuresLeft[which] == 0) return S_OK;
  --g_failuresLeft[which];
  return g_failure[which];
}

// The newer versions the host asks for: of the web view, the settings, the controller.
HRESULT STDMETHODCALLTYPE QueryInterface(void* object, REFIID iid, void** out) {
  const Table kind = static_cast<Object*>(object)->kind;
  const bool match = IsEqualGUID(iid, kIUnknown) || (kind == kView && IsEqualGUID(iid, kView3Id)) ||
                     (kind == kSettings && IsEqualGUID(iid, kSettings3Id)) ||
                     (kind == kController && IsEqualGUID(iid, kController2Id));
  *out = match ? object : nullptr;
  if (match) AddRef(object);
  return match ? S_OK : E_NOINTERFACE;
}

template <typename T>
T* Make(Table kind) {
  T* object = new T();
  object->table = g_tables[kind];
  object->kind = kind;
  return object;
}

// Hands the event to every handler registered at the add_ slot; the sender is the source.
template <typename... A>
void Fire(Source* source, int addSlot, A... args) {
  if (!source) return;
  AddRef(source);
  std::vector<Object*> handlers;
  for (auto& [token, handler] : source->handlers[addSlot]) handlers.push_back(handler);
  for (Object* handler : handlers) HostAddRef(handler);
  for (Object* handler : handlers) Call(handler, 3, static_cast<void*>(source), args...);
  for (Object* handler : handlers) HostRelease(handler);
  Release(source);
}

void ReleaseHandlers(Source* source) {
  auto handlers = std::move(source->handlers);
  source->handlers.clear();
  for (auto& [slot, list] : handlers) {
    for (auto& [token, handler] : list) HostRelease(handler);
  }
}

template <int S>
HRESULT STDMETHODCALLTYPE AddAt(Source* source, Object* handler, INT64* token) {
  if (!handler || !token) return E_INVALIDARG;
  if (const auto failure = g_failAdd.find(S); failure != g_failAdd.end()) return failure->second;
  HostAddRef(handler);
  source->handlers[S].emplace_back(*token = ++g_nextToken, handler);
  return Note("add " + std::to_string(S));
}
template <int S>  // the remove_ slot, after its add_ slot
HRESULT STDMETHODCALLTYPE RemoveAt(Source* source, INT64 token) {
  auto& list = source->handlers[S - 1];
  const auto entry = std::ranges::find(list, token, &std::pair<INT64, Object*>::first);
  if (entry == list.end()) return Record("remove unknown token at " + std::to_string(S)), E_INVALIDARG;
  Object* handler = entry->second;
  list.erase(entry);
  HostRelease(handler);
  return Note("remove " + std::to_string(S - 1));
}
template <Table T, int... S>
void FillHandlers() {
  ((Set(T, S, &AddAt<S>), Set(T, S + 1, &RemoveAt<S + 1>)), ...);
}

HRESULT STDMETHODCALLTYPE CreateController(Object* environment, HWND parent, Object* handler) {
  Record("CreateCoreWebView2Controller");
  if (!handler) return E_INVALIDARG;
  // The browser's window is in the parent before the call returns.
  HWND window = IsWindow(parent) ? CreateWindowExW(0, L"KestrelWebView2DoubleView", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                                   0, parent, nullptr, nullptr, nullptr)
                                 : nullptr;
  HostAddRef(handler);
  AddRef(environment);
  Answer([environment, parent, handler, window] {
    const HRESULT failure = !IsWindow(parent) ? E_ABORT : CreationResult(1);
    if (FAILED(failure)) {
      Release(environment);
      if (window) DestroyWindow(window);
      Call(handler, 3, failure, static_cast<void*>(nullptr));
    } else {
      auto* controller = Make<Controller>(kController);
      auto* view = Make<View>(kView);
      view->settings = Make<Settings>(kSettings);
      controller->view = view;
      controller->window = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(controller));
      ++g_liveControllers;
      controller->destroyed = [controller, environment] {
        --g_liveControllers;
        Release(environment);
        if (!controller->closed) {
          ReleaseHandlers(controller);
          ReleaseHandlers(controller->view);
        }
        if (IsWindow(controller->window)) DestroyWindow(controller->window);
        if (g_view == controller->view) g_view = nullptr;
        Release(controller->view);
      };
      view->destroyed = [view] { Release(view->settings); };
      g_view = view;
      Call(handler, 3, S_OK, static_cast<void*>(controller));
      Release(controller);
    }
    HostRelease(handler);
  });
  return S_OK;
}

Controller* ControllerOf(HWND window) {
  return reinterpret_cast<Controller*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A key that reaches the browser's window. Accelerators (keys with Ctrl or
// Alt, keys that make no character, Escape) go to the host's handlers, which
// may keep them; then the browser's own keys act, unless turned off; what is
// left reaches the page.
void PressKey(Controller* controller, UINT message, UINT key, LPARAM lParam) {
  const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  const bool system = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = system || GetKeyState(VK_MENU) < 0;
  const bool character = key != VK_ESCAPE && MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) != 0;
  if (ctrl || alt || !character) {
    auto* args = Make<Args>(kKeyArgs);
    args->number = (down ? 0 : 1) + (system ? 2 : 0);
    args->key = key;
    args->lParam = lParam;
    AddRef(controller);
    Fire(controller, 19, static_cast<void*>(args));  // the browser waits meanwhile
    const bool kept = args->state != 0 || controller->closed;
    const bool browserKeys = controller->view->settings->browserKeys;
    Release(args);
    Release(controller);
    if (kept) return;
    const char* action = !down || !browserKeys             ? nullptr
                         : key == VK_F5 || (ctrl && key == 'R') ? "Reload"
                         : ctrl && key == 'P'                 ? "Print"
                         : (ctrl && key == 'F') || key == VK_F3 ? "Find"
                         : ctrl && key == 'S'                 ? "Save"
                         : alt && key == VK_LEFT              ? "GoBack"
                                                              : nullptr;
    if (action) {
      Record(std::string("browser ") + action);
      return;
    }
  }
  if (down) Record("key " + std::to_string(key) + " to page");
}

LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Controller* controller = ControllerOf(window);
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (controller) PressKey(controller, message, static_cast<UINT>(wParam), lParam);
      return 0;
    case WM_MOUSEWHEEL:
      if (controller) Record(controller->view->settings->zoom ? "browser Zoom" : "wheel to page");
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HRESULT STDMETHODCALLTYPE NavigateTo(View* view, LPCWSTR uri) {
  Record("Navigate " + Narrow(uri));
  view->source = uri;
  AddRef(view);
  Later([view] {
    auto* args = Make<Args>(kNavigationArgs);
    Fire(view, 15, static_cast<void*>(args));
    Release(args);
    Release(view);
  });
  return S_OK;
}
// Runs a script: answers its handler later with the result.
HRESULT RunScript(const std::string& call, Object* handler, std::wstring result) {
  Record(call);
  if (!handler) return S_OK;
  HostAddRef(handler);
  Answer([handler, result] {
    Call(handler, 3, S_OK, result.c_str());
    HostRelease(handler);
  });
  return S_OK;
}

// The slots the host calls; all others record "bad slot". Slot 0..2 are IUnknown's.
void FillTables() {
  FillAllBad(std::make_integer_sequence<int, kTables>());
  for (auto& table : g_tables) {
    table[0] = reinterpret_cast<Slot>(&QueryInterface);
    table[1] = reinterpret_cast<Slot>(&AddRef);
    table[2] = reinterpret_cast<Slot>(&Release);
  }
  Set(kEnvironment, 3, &CreateController);
  Set(kController, 4, +[](Controller* controller, BOOL visible) {
    ShowWindow(controller->window, visible ? SW_SHOWNA : SW_HIDE);
    if (visible) SetFocus(controller->window);
    return Note("visible " + std::to_string(visible));
  });
  Set(kController, 6, +[](Controller* controller, RECT b) {
    // Raised among the parent's children on every move, as the runtime's window is.
    SetWindowPos(controller->window, HWND_TOP, b.left, b.top, b.right - b.left, b.bottom - b.top, SWP_NOACTIVATE);
    return Note("bounds " + std::to_string(b.left) + " " + std::to_string(b.top) + " " + std::to_string(b.right) +
                " " + std::to_string(b.bottom));
  });
  Set(kController, 12, +[](Controller* controller, int reason) {
    SetFocus(controller->window);
    return Note("focus " + std::to_string(reason));
  });
  FillHandlers<kController, 19>();  // AcceleratorKeyPressed
  Set(kController, 23, +[](void*) { return Note("parent moved"); });  // NotifyParentWindowPositionChanged
  Set(kController, 24, +[](Controller* controller) {  // Close
    if (controller->closed) return E_UNEXPECTED;
    controller->closed = true;
    ReleaseHandlers(controller);
    ReleaseHandlers(controller->view);
    if (IsWindow(controller->window)) DestroyWindow(controller->window);
    return Note("Close");
  });
  struct Color {
    BYTE a, r, g, b;
  };
  Set(kController, 27, +[](void*, Color c) {  // Controller2's put_DefaultBackgroundColor, by value
    return Note("background " + std::to_string(c.a) + " " + std::to_string(c.r) + " " + std::to_string(c.g) + " " +
                std::to_string(c.b));
  });
  Set(kController, 25, +[](Controller* controller, void** view) {  // get_CoreWebView2
    if (controller->closed) return E_UNEXPECTED;
    AddRef(*view = controller->view);
    return S_OK;
  });
  Set(kSettings, 10, +[](void*, BOOL on) { return Note("setting StatusBar " + std::to_string(on)); });
  Set(kSettings, 12, +[](void*, BOOL on) { return Note("setting DevTools " + std::to_string(on)); });
  Set(kSettings, 14, +[](void*, BOOL on) { return Note("setting ContextMenus " + std::to_string(on)); });
  Set(kSettings, 18, +[](Settings* settings, BOOL on) {
    settings->zoom = on;
    return Note("setting ZoomControl " + std::to_string(on));
  });
  Set(kSettings, 24, +[](Settings* settings, BOOL on) {  // Settings3
    settings->browserKeys = on;
    return Note("setting BrowserAcceleratorKeys " + std::to_string(on));
  });
  Set(kView, 3, +[](View* view, void** settings) { return AddRef(*settings = view->settings), S_OK; });
  Set(kView, 5, &NavigateTo);
  // NavigationCompleted, PermissionRequested, ProcessFailed, WebMessageReceived, NewWindowRequested.
  FillHandlers<kView, 15, 23, 25, 34, 44>();
  Set(kView, 27, +[](void*, LPCWSTR script, Object* handler) {  // AddScriptToExecuteOnDocumentCreated
    static int ids = 0;
    return RunScript("AddScript " + Narrow(script).substr(0, 40), handler, std::to_wstring(++ids));
  });
  Set(kView, 29, +[](void*, LPCWSTR script, Object* handler) {  // ExecuteScript
    // The page has the bridge the host injected: the hook-up finds it.
    static constexpr wchar_t kHookUp[] = L"if (window.tovane){window.tovane.mraidBridge.notifyContainer";
    const bool hookUp = script && wcsncmp(script, kHookUp, wcslen(kHookUp)) == 0;
    return RunScript("ExecuteScript " + Narrow(script).substr(0, 200), handler, hookUp ? L"\"true\"" : L"null");
  });
  Set(kView, 43, +[](void*) { return Note("Stop"); });
  Set(kView, 71, +[](void*, LPCWSTR host, LPCWSTR folder, int access) {  // SetVirtualHostNameToFolderMapping
    return Note("map " + Narrow(host) + " " + Narrow(folder) + " " + std::to_string(access));
  });
  // Event arguments.
  const auto text = +[](Args* args, LPWSTR* value) { return *value = Allocate(args->text), S_OK; };
  const auto number = +[](Args* args, int* value) { return *value = args->number, S_OK; };
  const auto putState = +[](Args* args, int value) { return args->state = value, S_OK; };
  Set(kMessageArgs, 3, +[](Args* args, LPWSTR* value) { return *value = Allocate(args->source), S_OK; });
  Set(kMessageArgs, 4, text);
  Set(kPermissionArgs, 4, number);
  Set(kPermissionArgs, 7, putState);
  Set(kNewWindowArgs, 3, text);
  Set(kNewWindowArgs, 6, putState);
  Set(kNewWindowArgs, 8, +[](Args* args, BOOL* value) { return *value = args->byUser, S_OK; });
  Set(kProcessArgs, 3, number);
  Set(kKeyArgs, 3, number);
  Set(kKeyArgs, 4, +[](Args* args, UINT* value) { return *value = args->key, S_OK; });
  Set(kKeyArgs, 5, +[](Args* args, INT* value) { return *value = static_cast<INT>(args->lParam), S_OK; });
  Set(kKeyArgs, 6, +[](Args* args, UINT32* status) {  // six 4-byte fields, decoded from the LPARAM
    const auto bits = static_cast<UINT32>(args->lParam);
    const UINT32 fields[6] = {bits & 0xFFFF, (bits >> 16) & 0xFF, (bits >> 24) & 1, (bits >> 29) & 1, (bits >> 30) & 1,
                              bits >> 31};
    std::copy(fields, fields + 6, status);
    return S_OK;
  });
  Set(kKeyArgs, 7, +[](Args* args, BOOL* value) { return *value = args->state, S_OK; });
  Set(kKeyArgs, 8, putState);
}

// Fires the event of the add_ slot with arguments of the kind; the state the host left in them.
int FireArgs(Table kind, int slot, const wchar_t* text, const std::wstring& source, int number = 0, BOOL byUser = TRUE) {
  auto* args = Make<Args>(kind);
  args->text = text;
  args->source = source;
  args->number = number;
  args->byUser = byUser;
  Fire(g_view, slot, static_cast<void*>(args));
  const int state = args->state;
  Release(args);
  return state;
}

}  // namespace

#define KD_EXPORT extern "C" __declspec(dllexport)

KD_EXPORT HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(int flag, int runtimeType,
                                                                                PCWSTR userDataFolder,
                                                                                IUnknown* options, IUnknown* handler) {
  if (!g_queue) {
    FillTables();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = QueueProc;
    windowClass.lpszClassName = L"KestrelWebView2Double";
    RegisterClassW(&windowClass);
    WNDCLASSW viewClass{};
    viewClass.lpfnWndProc = ViewWindowProc;
    viewClass.lpszClassName = L"KestrelWebView2DoubleView";
    RegisterClassW(&viewClass);
    g_queue = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  Record("environment flag " + std::to_string(flag) + " type " + std::to_string(runtimeType) + " options " +
         std::to_string(options != nullptr) + " folder " + Narrow(userDataFolder));
  void* created = nullptr;
  if (!handler || FAILED(handler->QueryInterface(kEnvironmentCreatedId, &created))) return E_NOINTERFACE;
  Answer([created] {
    if (const HRESULT failure = CreationResult(0); FAILED(failure)) {
      Call(created, 3, failure, static_cast<void*>(nullptr));
    } else {
      auto* environment = Make<Object>(kEnvironment);
      ++g_liveEnvironments;
      environment->destroyed = [] { --g_liveEnvironments; };
      Call(created, 3, S_OK, static_cast<void*>(environment));
      Release(environment);
    }
    HostRelease(created);
  });
  return S_OK;
}

// What the host called, one line each.
KD_EXPORT const char* KdCalls() {
  static std::string joined;
  joined.clear();
  for (const auto& call : g_calls) joined += call + "\n";
  return joined.c_str();
}
// The next `times` creations of the environment (0) or the controller (1) fail with `result`.
KD_EXPORT void KdFailCreation(int which, HRESULT result, int times) {
  g_failure[which] = result;
  g_failuresLeft[which] = times;
}
// Registrations at the add_ slot (of any object) answer `result`; S_OK registers again.
KD_EXPORT void KdFailAdd(int slot, HRESULT result) {
  if (SUCCEEDED(result)) {
    g_failAdd.erase(slot);
  } else {
    g_failAdd[slot] = result;
  }
}
// Completion handlers run inside the calls that start them, as the runtime may.
KD_EXPORT void KdAnswerAtOnce(BOOL atOnce) { g_atOnce = atOnce; }
KD_EXPORT int KdLiveControllers() { return g_liveControllers; }
KD_EXPORT int KdLiveEnvironments() { return g_liveEnvironments; }

// The page posts a message (JSON text); from the page's own address unless `source` is given.
KD_EXPORT void KdPostMessage(const wchar_t* json, const wchar_t* source) {
  if (g_view) FireArgs(kMessageArgs, 34, json, source ? source : g_view->source);
}
// The page asks for a permission; the state the host set.
KD_EXPORT int KdRequestPermission(int kind) {
  return FireArgs(kPermissionArgs, 23, L"", g_view ? g_view->source : L"", kind);
}
// The page opens a window; whether the host handled it.
KD_EXPORT BOOL KdOpenWindow(const wchar_t* uri, BOOL byUser) { return FireArgs(kNewWindowArgs, 44, uri, L"", 0, byUser); }
KD_EXPORT void KdFailProcess(int kind) { FireArgs(kProcessArgs, 25, L"", L"", kind); }
