#pragma once

#include <windows.h>
#include <unknwn.h>

#include <functional>
#include <utility>

namespace kestrel {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects go through Release

// A COM callback object (a completion or event handler) that runs a function.
// It answers IUnknown and its own interface id. While the function runs the
// object holds a reference to itself, so the function may drop the last other
// one (an event that closes its browser). No exception leaves Invoke.
template <typename Interface, const IID& kIid, typename... Args>
class ComCallback final : public Interface {
 public:
  using Function = std::function<HRESULT(Args...)>;

  // The new object with one reference, which the caller owns.
  static Interface* Create(Function function) { return new ComCallback(std::move(function)); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, kIid) || IsEqualIID(iid, IID_IUnknown)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    AddRef();
    HRESULT result = S_OK;
    try {
      if (m_function) result = m_function(args...);
    } catch (...) {
      result = E_UNEXPECTED;
    }
    Release();
    return result;
  }

 private:
  explicit ComCallback(Function function) : m_function(std::move(function)) {}
  ~ComCallback() = default;

  ULONG m_references = 1;  // one thread: the window thread
  Function m_function;
};

#pragma GCC diagnostic pop

}  // namespace kestrel
