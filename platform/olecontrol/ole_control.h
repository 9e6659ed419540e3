// The in-process control side of a program, as far as it exists on Linux:
// there is no control container, so a control is a child window of our own
// runtime (platform/win) with what a container would ask of it: persisted
// properties exchanged through a property bag with a version, members
// answered by name (dispatch), a list of property pages, verbs and the
// miscellaneous status bits. Class factories record themselves in the
// stand-in registry (platform/win/registry_file.h) under their class
// identifier and programmatic identifier; a host creates a control from
// the registry by that identifier through the module's factories.
#pragma once

#include "platform/win/dialog.h"
#include "platform/win/wnd.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

using HRESULT = int32_t;
using DISPID = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_ABOUTBOX = -552;

// Miscellaneous status bits of a control class.
constexpr uint32_t OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr uint32_t OLEMISC_CANTLINKINSIDE = 0x10;
constexpr uint32_t OLEMISC_INSIDEOUT = 0x80;
constexpr uint32_t OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr uint32_t OLEMISC_SETCLIENTSITEFIRST = 0x20000;

// Verbs a container sends.
constexpr int OLEIVERB_PRIMARY = 0;
constexpr int OLEIVERB_SHOW = -1;
constexpr int OLEIVERB_PROPERTIES = -7;

// Persisted properties as a container keeps them: name to text, with the
// exchange version under "_Version" (major in the high 16 bits).
using PropertyBag = std::map<std::string, std::string>;

// One direction of a property exchange over a bag.
class CPropExchange {
public:
    CPropExchange(PropertyBag& bag, bool loading) : m_bag(bag), m_loading(loading) {}
    bool IsLoading() const { return m_loading; }
    // The version stored in the bag (loading) or written to it (saving).
    uint32_t GetVersion() const { return m_version; }

    // Loading: reads the stored version (0 when none); saving: writes
    // `version`. True when the stored version equals `version`.
    bool ExchangeVersion(uint32_t version);
    // A missing or unreadable value takes the default when loading.
    bool ExchangeString(const char* name, std::string& value, const std::string& defaultValue);
    bool ExchangeShort(const char* name, int16_t& value, int16_t defaultValue);

private:
    PropertyBag& m_bag;
    bool m_loading;
    uint32_t m_version = 0;
};

bool PX_String(CPropExchange* px, const char* name, std::string& value, const std::string& defaultValue = {});
bool PX_Short(CPropExchange* px, const char* name, int16_t& value, int16_t defaultValue = 0);

class COleControl;

// One member of a control's dispatch table. A property has a getter and a
// setter of its text form; a method has an invoker.
struct DispatchMember {
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    std::function<std::string(COleControl&)> get;
    std::function<void(COleControl&, const std::string&)> set;
    std::function<void(COleControl&)> invoke;
    bool IsMethod() const { return static_cast<bool>(invoke); }
};

class COleControl : public CWnd {
public:
    COleControl() = default;
    ~COleControl() override = default;
    COleControl(const COleControl&) = delete;
    COleControl& operator=(const COleControl&) = delete;

    // Creates the control window as a child of `parent` at `rect`.
    BOOL CreateControl(CWnd* parent, const RECT& rect, UINT id);

    // Persisted properties: loads from or saves into a bag through
    // DoPropExchange.
    void LoadProperties(const PropertyBag& bag);
    void SaveProperties(PropertyBag& bag);
    virtual void DoPropExchange(CPropExchange* px);
    // Sets the defaults by exchanging with an empty bag.
    virtual void OnResetState();

    // Dispatch by name. GetIDOfName gives DISPID_UNKNOWN for a name the
    // control does not answer (names compare without regard to case).
    virtual const std::vector<DispatchMember>& DispatchTable() const;
    DISPID GetIDOfName(const std::string& name) const;
    bool GetProperty(const std::string& name, std::string& value);
    bool SetProperty(const std::string& name, const std::string& value);
    bool Invoke(const std::string& name);
    bool InvokeById(DISPID id);

    // Class identifiers of the property pages, in order.
    virtual std::vector<std::string> PropertyPageClsids() const { return {}; }
    // Runs a verb: OLEIVERB_PROPERTIES opens the property pages; the others
    // show the control. False for an unknown verb.
    virtual bool DoVerb(int verb);
    // Opens the control's property pages modally; false when none can be made.
    virtual bool OnProperties();

    virtual uint32_t GetMiscStatus() const { return 0; }
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = TRUE) { m_modified = modified; }

protected:
    // Paints through OnDraw with the client rectangle as bounds.
    void OnPaint() override;
    virtual void OnDraw(CDC* dc, const RECT& bounds, const RECT& invalid);

private:
    bool m_modified = false;
};

// A property page: a dialog that edits the properties of the controls it
// is given, through DDP_Text beside each DDX_Text in DoDataExchange.
class COlePropertyPage : public CDialog {
public:
    COlePropertyPage(UINT templateId, UINT captionId) : CDialog(templateId), m_captionId(captionId) {}
    void SetObjects(std::vector<COleControl*> controls) { m_controls = std::move(controls); }
    const std::vector<COleControl*>& GetObjects() const { return m_controls; }
    UINT GetCaptionId() const { return m_captionId; }

    // Loading: the property's text from the first control that answers the
    // name (the member keeps its value when none does). Saving: the value is
    // kept and set on every control by DDP_PostProcessing.
    void ExchangeText(CDataExchange* dx, const char* property, std::string& value);
    void ExchangeText(CDataExchange* dx, const char* property, int& value);
    void ExchangeText(CDataExchange* dx, const char* property, unsigned& value);
    void PostProcessing(CDataExchange* dx);

    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    struct Pending {
        std::string property;
        std::function<std::string()> text;
    };
    UINT m_captionId;
    std::vector<COleControl*> m_controls;
    std::vector<Pending> m_pending;
};

void DDP_Text(CDataExchange* dx, int id, std::string& member, const char* property);
void DDP_Text(CDataExchange* dx, int id, int& member, const char* property);
void DDP_Text(CDataExchange* dx, int id, unsigned& member, const char* property);
void DDP_PostProcessing(CDataExchange* dx);
