#include "plugin/kivro_plugin_object.h"

#include <cstring>
#include <new>

#include "platform/codepage.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/top_windows.h"
#include "plugin/game_info_text.h"
#include "plugin/plugin_type_library.h"

namespace kivro::plugin {

namespace {

std::atomic<long> g_module_locks{0};

// Names of the programs outside this system that the plug-in talks to.
constexpr char kLauncherWindowTitle[] = "Zelmora_Launcher";
constexpr uint32_t kLauncherMessage = 0x046F;  // WM_USER + 111
// How long a hung launcher window may hold the page: the message is sent
// and waited for, but a window that never answers must not freeze the
// browser for ever. Counted as a failure, like a missing window.
constexpr uint32_t kLauncherAnswerTimeoutMs = 10000;
constexpr char kGameWindowProperty[] = "Zelmora";
constexpr char kGameInfoSection[] = "ZM_Property";
constexpr char kInstallerTail[] = "\\KIVROInstaller.exe";
constexpr char kNotifierTail[] = "\\Pingbell.exe";
constexpr size_t kMaxWindowsDirectory = 259;  // a 260-byte buffer; longer is refused
constexpr uint32_t kSupportedSafety =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// Runs an interface method: nothing is thrown across the interface.
template <typename F>
HRESULT Guarded(F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT NewString(const std::u16string& text, BSTR* out) {
  *out = platform::SysAllocStringFromUtf16(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

void LockModule() { ++g_module_locks; }
void UnlockModule() { --g_module_locks; }
long ModuleLockCount() { return g_module_locks.load(); }

// ---- creation and identity ------------------------------------------

CKIVROPlugin::CKIVROPlugin(IUnknown* outer)
    : inner_(this), controlling_(outer != nullptr ? outer : &inner_) {
  LockModule();
}

CKIVROPlugin::~CKIVROPlugin() { UnlockModule(); }

HRESULT CKIVROPlugin::Create(IUnknown* outer, const IID& iid, void** object) {
  return Guarded([&]() -> HRESULT {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    // An aggregated object hands its outer object only its own IUnknown.
    if (outer != nullptr && !(iid == platform::IID_IUnknown)) {
      return CLASS_E_NOAGGREGATION;
    }
    auto* plugin = new (std::nothrow) CKIVROPlugin(outer);
    if (plugin == nullptr) return E_OUTOFMEMORY;
    // The count starts at 0; the first query takes the reference handed out.
    HRESULT hr = plugin->inner_.QueryInterface(iid, object);
    if (platform::Failed(hr)) delete plugin;
    return hr;
  });
}

HRESULT CKIVROPlugin::Inner::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == platform::IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
  } else if (iid == IID_IKIVROPlugin || iid == platform::IID_IDispatch) {
    *object = static_cast<IKIVROPlugin*>(self_);
  } else if (iid == platform::IID_IObjectSafety) {
    *object = static_cast<platform::IObjectSafety*>(self_);
  } else {
    return E_NOINTERFACE;
  }
  // Through the interface handed out: an aggregated object's interfaces
  // count their references on the outer object, only IUnknown on its own.
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CKIVROPlugin::Inner::AddRef() { return ++self_->references_; }

ULONG STDMETHODCALLTYPE CKIVROPlugin::Inner::Release() {
  uint32_t left = --self_->references_;
  if (left == 0) delete self_;
  return left;
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::QueryInterface(REFIID iid, void** object) {
  return controlling_->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE CKIVROPlugin::AddRef() { return controlling_->AddRef(); }
ULONG STDMETHODCALLTYPE CKIVROPlugin::Release() { return controlling_->Release(); }

// ---- IDispatch ------------------------------------------------------

// Served from the plug-in's type library (plugin_type_library.h).
HRESULT STDMETHODCALLTYPE CKIVROPlugin::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return Guarded([&]() -> HRESULT { return PluginGetTypeInfo(index, info); });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                      LCID, DISPID* ids) {
  return Guarded([&]() -> HRESULT {
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return PluginGetIDsOfNames(names, count, ids);
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception, UINT* arg_error) {
  return Guarded([&]() -> HRESULT {
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return PluginInvoke(this, id, flags, params, result, exception, arg_error);
  });
}

// ---- IKIVROPlugin ---------------------------------------------------

HRESULT STDMETHODCALLTYPE CKIVROPlugin::zms_chkDown() { return S_OK; }

HRESULT STDMETHODCALLTYPE CKIVROPlugin::zms_chkLauncher() {
  return Guarded([&]() -> HRESULT {
    platform::TopWindow launcher = platform::FindTopLevelWindow(kLauncherWindowTitle);
    if (launcher == 0) return kPluginFailure;
    // The launcher's answer is ignored; only that it handled the message counts.
    platform::SendResult sent = platform::SendTopWindowMessage(
        launcher, kLauncherMessage, 0, 0, kLauncherAnswerTimeoutMs, nullptr);
    return sent == platform::SendResult::kAnswered ? S_OK : kPluginFailure;
  });
}

HRESULT CKIVROPlugin::StartAndWait(BSTR bstr, const char* tail) {
  return Guarded([&]() -> HRESULT {
    if (platform::SysStringLen(bstr) == 0) return kPluginFailure;
    // The text is converted only to check it is usable; the program gets no argument.
    if (platform::Utf16ToCp949(platform::BstrToUtf16(bstr)).empty()) return kPluginFailure;
    std::string windows = platform::WindowsDirectory();
    if (windows.empty() || windows.size() > kMaxWindowsDirectory) return kPluginFailure;
    // Program and arguments are passed apart, so a blank in the Windows
    // directory cannot make another program start.
    platform::Process program;
    if (!program.Start(windows + tail, {})) return kPluginFailure;
    program.Wait(platform::Process::kInfinite);  // its exit code is not read
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::zms_startGame(BSTR bstr) { return StartAndWait(bstr, kInstallerTail); }

HRESULT STDMETHODCALLTYPE CKIVROPlugin::zms_startNotify(BSTR bstr) { return StartAndWait(bstr, kNotifierTail); }

HRESULT STDMETHODCALLTYPE CKIVROPlugin::SearchZelmora() {
  return Guarded([&]() -> HRESULT {
    ClearGameInfoText();
    // Every window with the property leads to the same section; a window
    // whose section cannot be had is passed over for the next one.
    for (platform::TopWindow w : platform::TopLevelWindowsWithProperty(kGameWindowProperty)) {
      (void)w;
      platform::SharedMemory section;
      if (!section.CreateOrOpen(kGameInfoSection, kGameInfoSize)) continue;
      const char* view = static_cast<const char*>(section.Map());
      if (view == nullptr) continue;
      SetGameInfoText(view, kGameInfoSize - 1);
      break;
    }
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::get_CurGameInfo(BSTR* pVal) {
  return Guarded([&]() -> HRESULT {
    if (pVal == nullptr) return E_POINTER;
    return NewString(platform::Cp949ToUtf16(GameInfoText()), pVal);
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::put_CurGameInfo(BSTR newVal) {
  return Guarded([&]() -> HRESULT {
    if (newVal == nullptr) return S_OK;  // a null string leaves the text as it was
    std::string text = platform::Utf16ToCp949(platform::BstrToUtf16(newVal));
    SetGameInfoText(text.data(), text.size());
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::zms_chkMutex(BSTR mutexName, BSTR* retval) {
  return Guarded([&]() -> HRESULT {
    if (retval == nullptr) return E_POINTER;
    std::string name = platform::Utf16ToCp949(platform::BstrToUtf16(mutexName));
    platform::NamedMutex mutex;
    bool exists = mutex.OpenExisting(name);
    mutex.Close();
    return NewString(exists ? u"TRUE" : u"FALSE", retval);
  });
}

// ---- IObjectSafety --------------------------------------------------

HRESULT STDMETHODCALLTYPE CKIVROPlugin::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                DWORD* enabled) {
  return Guarded([&]() -> HRESULT {
    if (supported == nullptr || enabled == nullptr) return E_POINTER;
    IUnknown* answered = nullptr;
    HRESULT hr = controlling_->QueryInterface(iid, reinterpret_cast<void**>(&answered));
    if (platform::Failed(hr)) {
      *supported = 0;
      *enabled = 0;
      return hr;
    }
    answered->Release();
    *supported = kSupportedSafety;
    *enabled = safety_options_;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CKIVROPlugin::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  return Guarded([&]() -> HRESULT {
    IUnknown* answered = nullptr;
    if (platform::Failed(controlling_->QueryInterface(iid, reinterpret_cast<void**>(&answered)))) {
      return E_NOINTERFACE;
    }
    answered->Release();
    if ((mask & ~kSupportedSafety) != 0) return E_FAIL;
    safety_options_ = (safety_options_ & ~mask) | (mask & enabled);
    return S_OK;
  });
}

}  // namespace kivro::plugin
