// A stand-in for the WebView2 runtime's EmbeddedBrowserWebView.dll, for tests
// under Wine where the real runtime cannot run. Its objects are plain tables
// of function pointers filled by slot number, written from the published slot
// order and not from the SDK's declarations: a host that calls a wrong slot
// reaches a wrong entry, or one that records "bad slot" and fails. It answers
// through the calling thread's message queue, records what the host did, and
// exports hooks that let a test act as the page and as the browser.
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
             kNewWindowArgs, kProcessArgs, kTables };

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
constexpr GUID kEnvironmentCreatedId = {0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};

// Every object: its table first, as COM wants, then a count and what it holds.
struct Object {
  Slot* table;
  LONG references = 1;
  Table kind;
  std::function<void()> destroyed;
};

struct View;
struct Controller : Object {
  View* view = nullptr;
  bool closed = false;
};
struct View : Object {
  std::map<int, std::vector<std::pair<INT64, Object*>>> handlers;  // add_ slot: token, handler
  std::wstring source;
  Object* settings = nullptr;
};
struct Args : Object {
  std::wstring text, source;
  int number = 0;   // permission or process kind
  int state = 0;    // permission state, or Handled
  BOOL byUser = TRUE;
};

Slot g_tables[kTables][kSlots];
int g_liveControllers = 0;
HRESULT g_failure[2] = {S_OK, S_OK};  // environment, controller creation
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

// The host asks only the web view for its third version.
HRESULT STDMETHODCALLTYPE QueryInterface(void* object, REFIID iid, void** out) {
  const bool view = static_cast<Object*>(object)->kind == kView;
  const bool match = IsEqualGUID(iid, kIUnknown) || (view && IsEqualGUID(iid, kView3Id));
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

// Hands the event to every handler registered at the add_ slot.
template <typename... A>
void Fire(View* view, int addSlot, A... args) {
  if (!view) return;
  AddRef(view);
  std::vector<Object*> handlers;
  for (auto& [token, handler] : view->handlers[addSlot]) handlers.push_back(handler);
  for (Object* handler : handlers) HostAddRef(handler);
  for (Object* handler : handlers) Call(handler, 3, static_cast<void*>(view), args...);
  for (Object* handler : handlers) HostRelease(handler);
  Release(view);
}

void ReleaseHandlers(View* view) {
  auto handlers = std::move(view->handlers);
  view->handlers.clear();
  for (auto& [slot, list] : handlers) {
    for (auto& [token, handler] : list) HostRelease(handler);
  }
}

template <int S>
HRESULT STDMETHODCALLTYPE AddAt(View* view, Object* handler, INT64* token) {
  if (!handler || !token) return E_INVALIDARG;
  HostAddRef(handler);
  view->handlers[S].emplace_back(*token = ++g_nextToken, handler);
  return Note("add " + std::to_string(S));
}
template <int S>  // the remove_ slot, after its add_ slot
HRESULT STDMETHODCALLTYPE RemoveAt(View* view, INT64 token) {
  auto& list = view->handlers[S - 1];
  const auto entry = std::ranges::find(list, token, &std::pair<INT64, Object*>::first);
  if (entry == list.end()) return Record("remove unknown token at " + std::to_string(S)), E_INVALIDARG;
  Object* handler = entry->second;
  list.erase(entry);
  HostRelease(handler);
  return Note("remove " + std::to_string(S - 1));
}
template <int... S>
void FillHandlers() {
  ((Set(kView, S, &AddAt<S>), Set(kView, S + 1, &RemoveAt<S + 1>)), ...);
}

HRESULT STDMETHODCALLTYPE CreateController(void*, HWND parent, Object* handler) {
  Record("CreateCoreWebView2Controller");
  if (!handler) return E_INVALIDARG;
  HostAddRef(handler);
  Later([parent, handler] {
    const HRESULT failure = !IsWindow(parent) ? E_ABORT : g_failure[1];
    if (FAILED(failure)) {
      Call(handler, 3, failure, static_cast<void*>(nullptr));
    } else {
      auto* controller = Make<Controller>(kController);
      auto* view = Make<View>(kView);
      view->settings = Make<Object>(kSettings);
      controller->view = view;
      ++g_liveControllers;
      controller->destroyed = [controller] {
        --g_liveControllers;
        if (!controller->closed) ReleaseHandlers(controller->view);
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
  Later([handler, result] {
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
  Set(kController, 4, +[](void*, BOOL visible) { return Note("visible " + std::to_string(visible)); });
  Set(kController, 6, +[](void*, RECT b) {
    return Note("bounds " + std::to_string(b.left) + " " + std::to_string(b.top) + " " + std::to_string(b.right) +
                " " + std::to_string(b.bottom));
  });
  Set(kController, 12, +[](void*, int reason) { return Note("focus " + std::to_string(reason)); });
  Set(kController, 24, +[](Controller* controller) {  // Close
    if (controller->closed) return E_UNEXPECTED;
    controller->closed = true;
    ReleaseHandlers(controller->view);
    return Note("Close");
  });
  Set(kController, 25, +[](Controller* controller, void** view) {  // get_CoreWebView2
    if (controller->closed) return E_UNEXPECTED;
    AddRef(*view = controller->view);
    return S_OK;
  });
  Set(kSettings, 10, +[](void*, BOOL on) { return Note("setting StatusBar " + std::to_string(on)); });
  Set(kSettings, 12, +[](void*, BOOL on) { return Note("setting DevTools " + std::to_string(on)); });
  Set(kSettings, 14, +[](void*, BOOL on) { return Note("setting ContextMenus " + std::to_string(on)); });
  Set(kView, 3, +[](View* view, void** settings) { return AddRef(*settings = view->settings), S_OK; });
  Set(kView, 5, &NavigateTo);
  // NavigationCompleted, PermissionRequested, ProcessFailed, WebMessageReceived, NewWindowRequested.
  FillHandlers<15, 23, 25, 34, 44>();
  Set(kView, 27, +[](void*, LPCWSTR script, Object* handler) {  // AddScriptToExecuteOnDocumentCreated
    static int ids = 0;
    return RunScript("AddScript " + Narrow(script).substr(0, 40), handler, std::to_wstring(++ids));
  });
  Set(kView, 29, +[](void*, LPCWSTR script, Object* handler) {  // ExecuteScript
    // The page has the bridge the host injected: the hook-up finds it.
    static constexpr wchar_t kHookUp[] = L"if (window.tovane){window.tovane.mraidBridge.notifyContainer";
    const bool hookUp = script && wcsncmp(script, kHookUp, wcslen(kHookUp)) == 0;
    return RunScript("ExecuteScript " + Narrow(script).substr(0, 80), handler, hookUp ? L"\"true\"" : L"null");
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
    g_queue = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  Record("environment flag " + std::to_string(flag) + " type " + std::to_string(runtimeType) + " options " +
         std::to_string(options != nullptr) + " folder " + Narrow(userDataFolder));
  void* created = nullptr;
  if (!handler || FAILED(handler->QueryInterface(kEnvironmentCreatedId, &created))) return E_NOINTERFACE;
  Later([created] {
    if (FAILED(g_failure[0])) {
      Call(created, 3, g_failure[0], static_cast<void*>(nullptr));
    } else {
      auto* environment = Make<Object>(kEnvironment);
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
// Creating the environment (0) or the controller (1) fails with `result` until reset with S_OK.
KD_EXPORT void KdFailCreation(int which, HRESULT result) { g_failure[which] = result; }
KD_EXPORT int KdLiveControllers() { return g_liveControllers; }

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
