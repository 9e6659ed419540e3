#include "platform/win/ole_server.h"

#include "platform/win/registry_file.h"

COleServerDoc::~COleServerDoc() = default;

COleServerItem* COleServerDoc::GetEmbeddedItem()
{
    if (!m_item) m_item.reset(OnGetEmbeddedItem());
    return m_item.get();
}

void COleTemplateServer::ConnectTemplate(const std::string& clsid, CDocTemplate* docTemplate, bool multiInstance)
{
    m_clsid = clsid;
    m_template = docTemplate;
    m_multiInstance = multiInstance;
}

BOOL COleTemplateServer::RegisterAll()
{
    if (!m_template || m_clsid.empty()) return FALSE;
    return win::RegistryFile::SetValue("CLSID\\" + m_clsid, "ClassFactory",
                                       m_multiInstance ? "multiple" : "single")
               ? TRUE
               : FALSE;
}

BOOL COleTemplateServer::UpdateRegistry(Registration kind, const std::string& program)
{
    if (!m_template || m_clsid.empty()) return FALSE;
    std::string typeId;
    m_template->GetDocString(typeId, CDocTemplate::regFileTypeId);
    const std::string key = "CLSID\\" + m_clsid;
    bool ok = win::RegistryFile::SetValue(key + "\\LocalServer32", "", program);
    ok = win::RegistryFile::SetValue(key + "\\ProgID", "", typeId) && ok;
    if (kind == Registration::InPlaceServer) ok = win::RegistryFile::SetValue(key + "\\InprocHandler32", "", "ole32.dll") && ok;
    if (!typeId.empty()) ok = win::RegistryFile::SetValue(typeId + "\\CLSID", "", m_clsid) && ok;
    return ok ? TRUE : FALSE;
}
