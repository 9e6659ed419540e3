// The control's module: one module object with the control's and the
// property page's class factories and the type library, the resources of
// the control (menu 201, dialogs 200, 202, 204 and the about dialog, bitmap
// 210, cursors 130 to 141, strings), and the self-registration entries.
#pragma once

#include "platform/olecontrol/control_module.h"

#include <string>

inline constexpr const char* kLumivexClsid = "{5A3C61E2-8D4B-4F1A-9B77-2E6C0D9F4A11}";
inline constexpr const char* kLumivexPropPageClsid = "{5A3C61E3-8D4B-4F1A-9B77-2E6C0D9F4A11}";
inline constexpr const char* kLumivexTypeLibId = "{5A3C61E0-8D4B-4F1A-9B77-2E6C0D9F4A11}";
inline constexpr const char* kLumivexDispatchIid = "{5A3C61E1-8D4B-4F1A-9B77-2E6C0D9F4A11}";
inline constexpr const char* kLumivexEventsIid = "{5A3C61E4-8D4B-4F1A-9B77-2E6C0D9F4A11}";
inline constexpr const char* kLumivexProgId = "LUMIVEX.LumivexCtrl.1";
inline constexpr const char* kLumivexPropPageProgId = "LUMIVEX.LumivexPropPage.1";
// Activate when visible, set client site first, inside-out, cannot link
// inside, recompose on resize.
inline constexpr uint32_t kLumivexMiscStatus = 0x20191;
inline constexpr uint32_t kEnglishLocale = 1033;

class CLumivexModule : public COleControlModule {
public:
    // Registers the resources and the factories once; later calls do nothing.
    bool InitInstance();
    int ExitInstance();

private:
    bool m_started = false;
};

// The one module object (made on first use).
CLumivexModule& LumivexModule();
// The control's resources in the runtime's application module.
void RegisterLumivexResources();

// Self-registration: S_OK, SELFREG_E_TYPELIB or SELFREG_E_CLASS. After the
// control class, its two component categories (failures ignored).
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
// The factory of a class, null when the module does not serve it.
const COleObjectFactory* DllGetClassObject(const std::string& clsid);
bool DllCanUnloadNow();
