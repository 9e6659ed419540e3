#include "platform/olecontrol/control_module.h"

#include "core/logger.h"
#include "platform/win/registry_file.h"

#include <array>
#include <cstdio>
#include <initializer_list>

using win::RegistryFile;

const char* const CATID_SafeForScripting = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const char* const CATID_SafeForInitializing = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

namespace {

std::string ClassKey(const std::string& clsid)
{
    return "CLSID\\" + clsid;
}

// Writes every (key, name, value) or stops at the first failure.
bool WriteAll(std::initializer_list<std::array<std::string, 3>> values)
{
    for (const auto& v : values)
        if (!RegistryFile::SetValue(v[0], v[1], v[2])) return false;
    return true;
}

}  // namespace

bool AfxOleRegisterControlClass(const ClassRegistration& r)
{
    if (r.clsid.empty() || r.progId.empty()) {
        Logger::log("ERROR AfxOleRegisterControlClass a class needs an identifier and a ProgID", 1);
        return false;
    }
    const std::string key = ClassKey(r.clsid);
    char misc[16];
    std::snprintf(misc, sizeof misc, "%u", static_cast<unsigned>(r.miscStatus));
    return WriteAll({
        {key, "", r.typeName},
        {key + "\\ProgID", "", r.progId},
        {key + "\\InprocServer32", "", r.module},
        {key + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {key + "\\ToolboxBitmap32", "", r.module + ", " + std::to_string(r.toolboxBitmap)},
        {key + "\\MiscStatus", "", "0"},
        {key + "\\MiscStatus\\1", "", misc},
        {key + "\\Control", "", ""},
        {key + "\\TypeLib", "", r.typeLibId},
        {key + "\\Version", "", r.typeLibVersion},
        {r.progId, "", r.typeName},
        {r.progId + "\\CLSID", "", r.clsid},
    });
}

bool AfxOleRegisterPropertyPageClass(const ClassRegistration& r)
{
    if (r.clsid.empty() || r.progId.empty()) {
        Logger::log("ERROR AfxOleRegisterPropertyPageClass a class needs an identifier and a ProgID", 1);
        return false;
    }
    const std::string key = ClassKey(r.clsid);
    return WriteAll({
        {key, "", r.typeName},
        {key + "\\ProgID", "", r.progId},
        {key + "\\InprocServer32", "", r.module},
        {key + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {r.progId, "", r.typeName},
        {r.progId + "\\CLSID", "", r.clsid},
    });
}

bool AfxOleUnregisterClass(const std::string& clsid, const std::string& progId)
{
    bool ok = true;
    if (!clsid.empty()) ok = RegistryFile::RemoveKey(ClassKey(clsid)) && ok;
    if (!progId.empty()) ok = RegistryFile::RemoveKey(progId) && ok;
    return ok;
}

bool COleObjectFactory::UpdateRegistry(bool registering)
{
    if (!registering) return AfxOleUnregisterClass(m_registration.clsid, m_registration.progId);
    return m_registration.control ? AfxOleRegisterControlClass(m_registration)
                                  : AfxOleRegisterPropertyPageClass(m_registration);
}

// ---- Type library ----------------------------------------------------------------------------

bool AfxOleRegisterTypeLib(const TypeLibDescription& t)
{
    if (t.id.empty() || t.version.empty()) {
        Logger::log("ERROR AfxOleRegisterTypeLib the library needs an identifier and a version", 1);
        return false;
    }
    const std::string key = "TypeLib\\" + t.id + "\\" + t.version;
    if (!WriteAll({{key, "", t.help}, {key, "Name", t.name}, {key + "\\0\\linux", "", t.module},
                   {key + "\\FLAGS", "", "2"}, {key + "\\HELPDIR", "", t.helpFile}}))
        return false;
    for (const TypeLibInterface& i : t.interfaces) {
        const std::string ikey = "Interface\\" + i.id;
        if (!WriteAll({{ikey, "", i.name}, {ikey, "Help", i.help}, {ikey + "\\TypeLib", "", t.id},
                       {ikey + "\\TypeLib", "Version", t.version}}))
            return false;
        for (const TypeLibMember& m : i.members)
            if (!RegistryFile::SetValue(ikey + "\\Members", m.name, std::to_string(m.id) + " " + m.kind))
                return false;
    }
    if (!t.classId.empty() &&
        !WriteAll({{key + "\\CoClass\\" + t.classId, "", t.className},
                   {key + "\\CoClass\\" + t.classId, "Help", t.classHelp}}))
        return false;
    return true;
}

bool AfxOleUnregisterTypeLib(const std::string& id, const std::string& version)
{
    // The interfaces that name this library go with it.
    for (const win::RegistryEntry& e : RegistryFile::Entries("Interface\\"))
        if (e.name.empty() && e.key.size() > 8 && e.key.compare(e.key.size() - 8, 8, "\\TypeLib") == 0 &&
            e.value == id)
            RegistryFile::RemoveKey(e.key.substr(0, e.key.size() - 8));
    return RegistryFile::RemoveKey("TypeLib\\" + id + "\\" + version);
}

std::string DescribeTypeLib(const TypeLibDescription& t)
{
    std::string s;
    s += "[ uuid(" + t.id + "), version(" + t.version + "), helpfile(\"" + t.helpFile + "\"), helpstring(\"" +
         t.help + "\") ]\nlibrary " + t.name + "\n{\n";
    for (const TypeLibInterface& i : t.interfaces) {
        s += "  [ uuid(" + i.id + "), helpstring(\"" + i.help + "\") ]\n  dispinterface " + i.name + "\n  {\n";
        std::string properties, methods;
        for (const TypeLibMember& m : i.members) {
            if (m.kind.rfind("property ", 0) == 0)
                properties += "      [id(" + std::to_string(m.id) + ")] " + m.kind.substr(9) + " " + m.name + ";\n";
            else
                methods += "      [id(" + std::to_string(m.id) + ")] void " + m.name + "();\n";
        }
        s += "    properties:\n" + properties + "    methods:\n" + methods + "  };\n";
    }
    if (!t.classId.empty()) {
        s += "  [ uuid(" + t.classId + "), helpstring(\"" + t.classHelp + "\"), control ]\n  coclass " +
             t.className + "\n  {\n";
        for (size_t k = 0; k < t.interfaces.size(); ++k)
            s += std::string(k == 0 ? "    [default] dispinterface " : "    [default, source] dispinterface ") +
                 t.interfaces[k].name + ";\n";
        s += "  };\n";
    }
    s += "};\n";
    return s;
}

// ---- Component categories --------------------------------------------------------------------

bool CreateComponentCategory(const std::string& category, const std::string& description, uint32_t locale)
{
    char localeName[16];
    std::snprintf(localeName, sizeof localeName, "%x", static_cast<unsigned>(locale));
    const std::string text = description.size() > 127 ? description.substr(0, 127) : description;
    return RegistryFile::SetValue("Component Categories\\" + category, localeName, text);
}

bool RegisterClassImplCategory(const std::string& clsid, const std::string& category)
{
    return RegistryFile::SetValue(ClassKey(clsid) + "\\Implemented Categories\\" + category, "", "");
}

// ---- Module ----------------------------------------------------------------------------------

void COleControlModule::AddFactory(std::unique_ptr<COleObjectFactory> factory)
{
    if (factory) m_factories.push_back(std::move(factory));
}

HRESULT COleControlModule::RegisterServer()
{
    if (!AfxOleRegisterTypeLib(m_typeLib)) return SELFREG_E_TYPELIB;
    for (const auto& f : m_factories)
        if (!f->UpdateRegistry(true)) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT COleControlModule::UnregisterServer()
{
    if (!AfxOleUnregisterTypeLib(m_typeLib.id, m_typeLib.version)) return SELFREG_E_TYPELIB;
    for (const auto& f : m_factories)
        if (!f->UpdateRegistry(false)) return SELFREG_E_CLASS;
    return S_OK;
}

const COleObjectFactory* COleControlModule::GetClassObject(const std::string& clsid) const
{
    for (const auto& f : m_factories)
        if (f->Registration().clsid == clsid) return f.get();
    return nullptr;
}

std::string CLSIDFromProgID(const std::string& progId)
{
    std::string clsid;
    if (progId.empty() || !RegistryFile::GetValue(progId + "\\CLSID", "", clsid)) return std::string();
    return clsid;
}

COleControl* CreateControlFromProgID(const COleControlModule& module, const std::string& progId)
{
    const std::string clsid = CLSIDFromProgID(progId);
    if (clsid.empty()) {
        Logger::log("ERROR CreateControlFromProgID \"%s\" is not registered", 1, progId.c_str());
        return nullptr;
    }
    const COleObjectFactory* factory = module.GetClassObject(clsid);
    COleControl* control = factory ? factory->CreateControl() : nullptr;
    if (!control)
        Logger::log("ERROR CreateControlFromProgID the module serves no control of class %s", 1, clsid.c_str());
    return control;
}
