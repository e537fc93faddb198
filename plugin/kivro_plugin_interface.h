// The web plug-in's identity and its scripting interface IKIVROPlugin, a
// dual interface: the seven operations below follow IDispatch's entries in
// this order, and script reaches them by name through IDispatch.
#pragma once
#include "platform/com.h"

namespace kivro::plugin {

using platform::BSTR;
using platform::HRESULT;

// {3610C74F-5D10-4690-9556-14A6563095AE}
inline constexpr platform::CLSID CLSID_KIVROPlugin = {
    0x3610C74F, 0x5D10, 0x4690, {0x95, 0x56, 0x14, 0xA6, 0x56, 0x30, 0x95, 0xAE}};
// {BFF107DF-E553-4958-8BF4-EBFAFE145A1F}
inline constexpr platform::IID IID_IKIVROPlugin = {
    0xBFF107DF, 0xE553, 0x4958, {0x8B, 0xF4, 0xEB, 0xFA, 0xFE, 0x14, 0x5A, 0x1F}};
// {A34AFA32-EA9D-4355-921C-DBDF5B6EF933}
inline constexpr platform::GUID LIBID_KIVROPluginLib = {
    0xA34AFA32, 0xEA9D, 0x4355, {0x92, 0x1C, 0xDB, 0xDF, 0x5B, 0x6E, 0xF9, 0x33}};

inline constexpr char kProgId[] = "KIVROPlugin.KIVROPlugin";
inline constexpr char kVersionedProgId[] = "KIVROPlugin.KIVROPlugin.1";
inline constexpr char kAppId[] = "{3610C74F-5D10-4690-9556-14A6563095AE}";

class IKIVROPlugin : public platform::IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE zms_chkDown() = 0;
  virtual HRESULT STDMETHODCALLTYPE zms_chkLauncher() = 0;
  virtual HRESULT STDMETHODCALLTYPE zms_startGame(BSTR bstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE zms_startNotify(BSTR bstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE SearchZelmora() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CurGameInfo(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CurGameInfo(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE zms_chkMutex(BSTR mutexName, BSTR* retval) = 0;

 protected:
  ~IKIVROPlugin() = default;
};

// The failure every starting and poking operation answers: all bits set.
inline constexpr HRESULT kPluginFailure = -1;

}  // namespace kivro::plugin
