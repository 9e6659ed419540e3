// Class factories, the control module, type-library descriptions and
// component categories, all recorded in the stand-in registry file
// (platform/win/registry_file.h). Keys follow the platform's layout:
//   CLSID\{id}                      type name; ProgID, InprocServer32, ...
//   <ProgID>                        type name; CLSID
//   TypeLib\{id}\<major.minor>      description; HELPDIR, 0\linux
//   Interface\{id}                  name; TypeLib, one value per member
//   Component Categories\{id}       <locale in hex> = description
//   CLSID\{id}\Implemented Categories\{category}
#pragma once

#include "platform/olecontrol/ole_control.h"

#include <memory>
#include <string>
#include <vector>

class COlePropertyPage;

// Component categories of controls that are safe in a scripted page.
extern const char* const CATID_SafeForScripting;
extern const char* const CATID_SafeForInitializing;

// What a class factory registers and how it makes its object.
struct ClassRegistration {
    std::string clsid;
    std::string progId;
    std::string typeName;
    std::string module;        // the library that serves the class ("Lumivex.dll")
    uint32_t miscStatus = 0;   // controls only
    int toolboxBitmap = 0;     // controls only
    std::string typeLibId;     // controls only
    std::string typeLibVersion;
    bool control = false;
};

class COleObjectFactory {
public:
    using ControlMaker = std::function<COleControl*()>;
    using PageMaker = std::function<COlePropertyPage*()>;

    COleObjectFactory(ClassRegistration registration, ControlMaker makeControl)
        : m_registration(std::move(registration)), m_makeControl(std::move(makeControl))
    {
    }
    COleObjectFactory(ClassRegistration registration, PageMaker makePage)
        : m_registration(std::move(registration)), m_makePage(std::move(makePage))
    {
    }
    virtual ~COleObjectFactory() = default;

    const ClassRegistration& Registration() const { return m_registration; }
    // Registers (true) or removes (false) the class and its identifier.
    virtual bool UpdateRegistry(bool registering);
    // A new object; null when this factory makes the other kind.
    COleControl* CreateControl() const { return m_makeControl ? m_makeControl() : nullptr; }
    COlePropertyPage* CreatePage() const { return m_makePage ? m_makePage() : nullptr; }

private:
    ClassRegistration m_registration;
    ControlMaker m_makeControl;
    PageMaker m_makePage;
};

// Writes a control class (apartment threading, misc status, toolbox
// bitmap, type library) and its programmatic identifier.
bool AfxOleRegisterControlClass(const ClassRegistration& registration);
bool AfxOleRegisterPropertyPageClass(const ClassRegistration& registration);
// Removes the class key and the programmatic identifier's key only.
bool AfxOleUnregisterClass(const std::string& clsid, const std::string& progId);

// A type library as the module describes it.
struct TypeLibMember {
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    std::string kind;  // "property BSTR", "property short", "method"
};
struct TypeLibInterface {
    std::string id;
    std::string name;
    std::string help;
    std::vector<TypeLibMember> members;
};
struct TypeLibDescription {
    std::string id;
    std::string name;  // "LUMIVEXLib"
    std::string version;
    std::string help;
    std::string helpFile;
    std::string module;
    std::vector<TypeLibInterface> interfaces;
    std::string classId, className, classHelp;
};
// The library in the registry (type library, its interfaces and the
// control class's coclass name); false when the registry cannot be written.
bool AfxOleRegisterTypeLib(const TypeLibDescription& library);
bool AfxOleUnregisterTypeLib(const std::string& id, const std::string& version);
// The description as interface-definition text, the form a type library
// compiler reads.
std::string DescribeTypeLib(const TypeLibDescription& library);

// Component categories: the category with its description (cut at 127
// characters) under `locale`, and a class's membership of it.
bool CreateComponentCategory(const std::string& category, const std::string& description, uint32_t locale);
bool RegisterClassImplCategory(const std::string& clsid, const std::string& category);

// The module: its factories and type library, the self-registration
// entries and the class-object lookup.
class COleControlModule {
public:
    virtual ~COleControlModule() = default;
    void AddFactory(std::unique_ptr<COleObjectFactory> factory);
    const std::vector<std::unique_ptr<COleObjectFactory>>& Factories() const { return m_factories; }
    void SetTypeLib(TypeLibDescription library) { m_typeLib = std::move(library); }
    const TypeLibDescription& TypeLib() const { return m_typeLib; }

    // The type library, then every factory: S_OK, SELFREG_E_TYPELIB or
    // SELFREG_E_CLASS.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();
    // The factory of a class identifier, null when the module has none.
    const COleObjectFactory* GetClassObject(const std::string& clsid) const;
    // Nothing holds objects of the module.
    bool CanUnloadNow() const { return m_liveObjects == 0; }
    void ObjectMade() { ++m_liveObjects; }
    void ObjectGone() { --m_liveObjects; }

private:
    std::vector<std::unique_ptr<COleObjectFactory>> m_factories;
    TypeLibDescription m_typeLib;
    int m_liveObjects = 0;
};

// The class identifier a programmatic identifier names in the registry;
// empty when it is not registered.
std::string CLSIDFromProgID(const std::string& progId);
// A new control of a registered programmatic identifier served by
// `module`; null (an ERROR line) when the identifier is not registered or
// the module does not serve its class.
COleControl* CreateControlFromProgID(const COleControlModule& module, const std::string& progId);
