// CKIVROPlugin: the scriptable object. It answers IUnknown, IKIVROPlugin,
// IDispatch (the same entry) and IObjectSafety, may be aggregated, and holds
// a lock on the module while it lives.
//
// Thread safety: the object lives in the page's single-threaded apartment;
// only its reference count is atomic (hosts may release from anywhere).
#pragma once
#include <atomic>

#include "platform/com.h"
#include "plugin/kivro_plugin_interface.h"

namespace kivro::plugin {

using platform::DISPID;
using platform::DISPPARAMS;
using platform::EXCEPINFO;
using platform::IID;
using platform::ITypeInfo;
using platform::IUnknown;
using platform::VARIANT;

class CKIVROPlugin final : public IKIVROPlugin, public platform::IObjectSafety {
 public:
  // Makes an object for the class factory: `outer` is the controlling
  // object when aggregated (then `iid` must be IUnknown). The new object's
  // interface is in `object` with one reference; failures leave it null.
  static HRESULT Create(IUnknown* outer, const IID& iid, void** object);

  // IUnknown (delegating to the controlling object).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                        DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

  // IKIVROPlugin.
  HRESULT STDMETHODCALLTYPE zms_chkDown() override;
  HRESULT STDMETHODCALLTYPE zms_chkLauncher() override;
  HRESULT STDMETHODCALLTYPE zms_startGame(BSTR bstr) override;
  HRESULT STDMETHODCALLTYPE zms_startNotify(BSTR bstr) override;
  HRESULT STDMETHODCALLTYPE SearchZelmora() override;
  HRESULT STDMETHODCALLTYPE get_CurGameInfo(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_CurGameInfo(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE zms_chkMutex(BSTR mutexName, BSTR* retval) override;

  // IObjectSafety.
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                    DWORD* enabled) override;
  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

 private:
  // The object's own IUnknown: the one that counts references and answers
  // interfaces, whatever controls it.
  class Inner final : public IUnknown {
   public:
    explicit Inner(CKIVROPlugin* self) : self_(self) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    CKIVROPlugin* self_;
  };

  explicit CKIVROPlugin(IUnknown* outer);
  ~CKIVROPlugin();
  // Starts "<Windows directory><tail>" with no argument and waits for it.
  HRESULT StartAndWait(BSTR bstr, const char* tail);

  Inner inner_;
  IUnknown* controlling_;
  std::atomic<uint32_t> references_{0};
  uint32_t safety_options_ = 0;
};

// Objects and server locks holding the module (DllCanUnloadNow).
void LockModule();
void UnlockModule();
long ModuleLockCount();

}  // namespace kivro::plugin
