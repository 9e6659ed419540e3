#include "platform/olecontrol/ole_control.h"

#include "core/logger.h"
#include "platform/win/data_exchange.h"
#include "platform/win/window_dc.h"

#include <cctype>
#include <cstdlib>
#include <cerrno>

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A whole decimal number within [lo, hi].
bool ParseInteger(const std::string& text, long lo, long hi, long& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    value = v;
    return true;
}

}  // namespace

// ---- Property exchange -----------------------------------------------------------------------

bool CPropExchange::ExchangeVersion(uint32_t version)
{
    if (!m_loading) {
        m_bag["_Version"] = std::to_string(version);
        m_version = version;
        return true;
    }
    long stored = 0;
    const auto it = m_bag.find("_Version");
    if (it == m_bag.end() || !ParseInteger(it->second, 0, 0xFFFFFFFFL, stored)) stored = 0;
    m_version = static_cast<uint32_t>(stored);
    return m_version == version;
}

bool CPropExchange::ExchangeString(const char* name, std::string& value, const std::string& defaultValue)
{
    if (!m_loading) {
        m_bag[name] = value;
        return true;
    }
    const auto it = m_bag.find(name);
    value = it == m_bag.end() ? defaultValue : it->second;
    return it != m_bag.end();
}

bool CPropExchange::ExchangeShort(const char* name, int16_t& value, int16_t defaultValue)
{
    if (!m_loading) {
        m_bag[name] = std::to_string(value);
        return true;
    }
    const auto it = m_bag.find(name);
    long v = 0;
    if (it == m_bag.end() || !ParseInteger(it->second, -32768, 32767, v)) {
        if (it != m_bag.end())
            Logger::log("ERROR CPropExchange::ExchangeShort %s is not a 16-bit number: \"%s\"", 1, name,
                        it->second.c_str());
        value = defaultValue;
        return false;
    }
    value = static_cast<int16_t>(v);
    return true;
}

bool PX_String(CPropExchange* px, const char* name, std::string& value, const std::string& defaultValue)
{
    return px->ExchangeString(name, value, defaultValue);
}

bool PX_Short(CPropExchange* px, const char* name, int16_t& value, int16_t defaultValue)
{
    return px->ExchangeShort(name, value, defaultValue);
}

// ---- Control ---------------------------------------------------------------------------------

BOOL COleControl::CreateControl(CWnd* parent, const RECT& rect, UINT id)
{
    return Create(nullptr, "", WS_CHILD | WS_VISIBLE, rect, parent, id);
}

void COleControl::LoadProperties(const PropertyBag& bag)
{
    PropertyBag copy = bag;
    CPropExchange px(copy, true);
    DoPropExchange(&px);
}

void COleControl::SaveProperties(PropertyBag& bag)
{
    CPropExchange px(bag, false);
    DoPropExchange(&px);
}

// The framework keeps no properties of its own on this platform (no
// extent, no stock properties).
void COleControl::DoPropExchange(CPropExchange*) {}

void COleControl::OnResetState()
{
    PropertyBag empty;
    CPropExchange px(empty, true);
    DoPropExchange(&px);
}

const std::vector<DispatchMember>& COleControl::DispatchTable() const
{
    static const std::vector<DispatchMember> none;
    return none;
}

DISPID COleControl::GetIDOfName(const std::string& name) const
{
    for (const DispatchMember& m : DispatchTable())
        if (SameName(m.name, name)) return m.id;
    return DISPID_UNKNOWN;
}

bool COleControl::GetProperty(const std::string& name, std::string& value)
{
    for (const DispatchMember& m : DispatchTable())
        if (SameName(m.name, name) && m.get) {
            value = m.get(*this);
            return true;
        }
    return false;
}

bool COleControl::SetProperty(const std::string& name, const std::string& value)
{
    for (const DispatchMember& m : DispatchTable())
        if (SameName(m.name, name) && m.set) {
            m.set(*this, value);
            return true;
        }
    return false;
}

bool COleControl::Invoke(const std::string& name)
{
    for (const DispatchMember& m : DispatchTable())
        if (SameName(m.name, name) && m.invoke) {
            m.invoke(*this);
            return true;
        }
    return false;
}

bool COleControl::InvokeById(DISPID id)
{
    for (const DispatchMember& m : DispatchTable())
        if (m.id == id && m.invoke) {
            m.invoke(*this);
            return true;
        }
    return false;
}

bool COleControl::DoVerb(int verb)
{
    switch (verb) {
    case OLEIVERB_PROPERTIES:
        return OnProperties();
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
        if (m_hWnd) ShowWindow(SW_SHOW);
        return true;
    default:
        return false;
    }
}

// The pages themselves come from the module's factories; a control on its
// own has none to open.
bool COleControl::OnProperties()
{
    return false;
}

void COleControl::OnPaint()
{
    CPaintDC dc(this);
    RECT client;
    GetClientRect(&client);
    OnDraw(&dc, client, dc.m_ps.rcPaint);
}

void COleControl::OnDraw(CDC*, const RECT&, const RECT&) {}

// ---- Property page ---------------------------------------------------------------------------

void COlePropertyPage::ExchangeText(CDataExchange* dx, const char* property, std::string& value)
{
    if (dx->m_bSaveAndValidate) {
        m_pending.push_back({property, [&value] { return value; }});
        return;
    }
    for (COleControl* c : m_controls) {
        std::string text;
        if (c && c->GetProperty(property, text)) {
            value = text;
            return;
        }
    }
}

void COlePropertyPage::ExchangeText(CDataExchange* dx, const char* property, int& value)
{
    if (dx->m_bSaveAndValidate) {
        m_pending.push_back({property, [&value] { return std::to_string(value); }});
        return;
    }
    for (COleControl* c : m_controls) {
        std::string text;
        long v = 0;
        if (c && c->GetProperty(property, text)) {
            if (ParseInteger(text, -2147483647L - 1, 2147483647L, v)) value = static_cast<int>(v);
            return;
        }
    }
}

void COlePropertyPage::ExchangeText(CDataExchange* dx, const char* property, unsigned& value)
{
    if (dx->m_bSaveAndValidate) {
        m_pending.push_back({property, [&value] { return std::to_string(value); }});
        return;
    }
    for (COleControl* c : m_controls) {
        std::string text;
        long v = 0;
        if (c && c->GetProperty(property, text)) {
            if (ParseInteger(text, 0, 0xFFFFFFFFL, v)) value = static_cast<unsigned>(v);
            return;
        }
    }
}

void COlePropertyPage::PostProcessing(CDataExchange* dx)
{
    if (dx->m_bSaveAndValidate && dx->Active()) {
        // A property no control answers by name transfers nothing.
        for (const Pending& p : m_pending)
            for (COleControl* c : m_controls)
                if (c) c->SetProperty(p.property, p.text());
    }
    m_pending.clear();
}

BOOL COlePropertyPage::OnInitDialog()
{
    return CDialog::OnInitDialog();
}

void COlePropertyPage::OnOK()
{
    CDialog::OnOK();
}

namespace {

COlePropertyPage* PageOf(CDataExchange* dx)
{
    return dynamic_cast<COlePropertyPage*>(dx->m_pDlgWnd);
}

}  // namespace

void DDP_Text(CDataExchange* dx, int, std::string& member, const char* property)
{
    if (COlePropertyPage* page = PageOf(dx)) page->ExchangeText(dx, property, member);
}

void DDP_Text(CDataExchange* dx, int, int& member, const char* property)
{
    if (COlePropertyPage* page = PageOf(dx)) page->ExchangeText(dx, property, member);
}

void DDP_Text(CDataExchange* dx, int, unsigned& member, const char* property)
{
    if (COlePropertyPage* page = PageOf(dx)) page->ExchangeText(dx, property, member);
}

void DDP_PostProcessing(CDataExchange* dx)
{
    if (COlePropertyPage* page = PageOf(dx)) page->PostProcessing(dx);
}
