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

namespace kivro_plugin {

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
  HRESULT QueryInterface(const IID& iid, void** object) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // IDispatch.
  HRESULT GetTypeInfoCount(uint32_t* count) override;
  HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(const IID& iid, char16_t** names, uint32_t count, uint32_t lcid,
                        DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID& iid, uint32_t lcid, uint16_t flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, uint32_t* arg_error) override;

  // IKIVROPlugin.
  HRESULT zms_chkDown() override;
  HRESULT zms_chkLauncher() override;
  HRESULT zms_startGame(BSTR bstr) override;
  HRESULT zms_startNotify(BSTR bstr) override;
  HRESULT SearchZelmora() override;
  HRESULT get_CurGameInfo(BSTR* pVal) override;
  HRESULT put_CurGameInfo(BSTR newVal) override;
  HRESULT zms_chkMutex(BSTR mutexName, BSTR* retval) override;

  // IObjectSafety.
  HRESULT GetInterfaceSafetyOptions(const IID& iid, uint32_t* supported,
                                    uint32_t* enabled) override;
  HRESULT SetInterfaceSafetyOptions(const IID& iid, uint32_t mask, uint32_t enabled) override;

 private:
  // The object's own IUnknown: the one that counts references and answers
  // interfaces, whatever controls it.
  class Inner final : public IUnknown {
   public:
    explicit Inner(CKIVROPlugin* self) : self_(self) {}
    HRESULT QueryInterface(const IID& iid, void** object) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

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

}  // namespace kivro_plugin
