#include "platform/windows/WebView2Environment.h"

#include <utility>
#include <vector>

#include "platform/windows/ComCallback.h"
#include "platform/windows/WebView2Runtime.h"

namespace kestrel {
namespace {

using namespace webview2;
using CreatedHandler = ComCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                   IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                                   ICoreWebView2Environment*>;

struct Shared {
  ICoreWebView2Environment* environment = nullptr;  // one reference, kept
  std::wstring folder;                             // its user data folder
  bool creating = false;
  std::vector<WebView2Environment::Ready> waiting;
};

Shared& State() {
  static Shared* shared = new Shared();  // lives as long as the process
  return *shared;
}

}  // namespace

HRESULT WebView2Environment::Request(const WebView2Runtime& runtime, const std::wstring& userDataFolder, Ready ready) {
  Shared& shared = State();
  if (shared.environment && shared.folder == userDataFolder) {
    ICoreWebView2Environment* environment = shared.environment;
    environment->AddRef();
    ready(S_OK, environment);
    environment->Release();
    return S_OK;
  }
  if (shared.creating && shared.folder == userDataFolder) {
    shared.waiting.push_back(std::move(ready));
    return S_OK;
  }
  Forget();
  auto* handler = CreatedHandler::Create([folder = userDataFolder](HRESULT result, ICoreWebView2Environment* created) {
    Shared& state = State();
    if (state.folder != folder || !state.creating) return S_OK;  // a request for another folder came since
    state.creating = false;
    if (SUCCEEDED(result) && created) {
      created->AddRef();
      state.environment = created;
    } else if (SUCCEEDED(result)) {
      result = E_POINTER;
    }
    // The waiting hosts may start a new request from inside their call.
    std::vector<Ready> waiting = std::move(state.waiting);
    state.waiting.clear();
    if (SUCCEEDED(result)) created->AddRef();  // a waiter may drop the shared one
    for (auto& waiter : waiting) waiter(result, SUCCEEDED(result) ? created : nullptr);
    if (SUCCEEDED(result)) created->Release();
    return S_OK;
  });
  shared.folder = userDataFolder;
  shared.creating = true;
  shared.waiting.push_back(std::move(ready));
  const HRESULT started = runtime.CreateEnvironment(userDataFolder, handler);
  handler->Release();
  if (FAILED(started)) {
    shared.creating = false;
    shared.waiting.clear();
  }
  return started;
}

void WebView2Environment::Forget() {
  Shared& shared = State();
  if (shared.environment) shared.environment->Release();
  shared.environment = nullptr;
  shared.creating = false;
  shared.waiting.clear();
}

}  // namespace kestrel
