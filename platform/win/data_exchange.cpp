#include "platform/win/data_exchange.h"

#include "core/logger.h"
#include "platform/win/control_models.h"
#include "platform/win/wnd.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace win {

std::string IntegerRangeMessage(long long minValue, long long maxValue)
{
    return "Enter a whole number from " + std::to_string(minValue) + " to " + std::to_string(maxValue) + ".";
}

std::string NumberRangeMessage(double minValue, double maxValue)
{
    char text[128];
    snprintf(text, sizeof text, "Enter a number from %g to %g.", minValue, maxValue);
    return text;
}

std::string NotAnIntegerMessage()
{
    return "Enter a whole number.";
}

std::string NotANumberMessage()
{
    return "Enter a number.";
}

std::string TooManyCharsMessage(int maxChars)
{
    return "Enter no more than " + std::to_string(maxChars) + " characters.";
}

}  // namespace win

namespace {

void Complain(CDataExchange* dx, const std::string& text)
{
    AfxMessageBox(text.c_str(), MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
}

std::string Trim(const std::string& text)
{
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    const size_t b = text.find_last_not_of(" \t");
    return text.substr(a, b - a + 1);
}

bool ParseInteger(const std::string& text, long long minValue, long long maxValue, long long& out)
{
    const std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = strtoll(t.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0' || v < minValue || v > maxValue) return false;
    out = v;
    return true;
}

bool ParseNumber(const std::string& text, double& out)
{
    const std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = strtod(t.c_str(), &end);
    if (errno == ERANGE || !end || *end != '\0') return false;
    out = v;
    return true;
}

std::string ControlText(HWND hwnd)
{
    CWnd* control = CWnd::FromHandle(hwnd);
    return control ? control->GetWindowText() : std::string();
}

void SetControlText(HWND hwnd, const std::string& text)
{
    if (CWnd* control = CWnd::FromHandle(hwnd)) control->SetWindowText(text.c_str());
}

template <class T>
void TextInteger(CDataExchange* dx, int id, T& value, long long minValue, long long maxValue, bool isSigned)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareEditCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (!dx->m_bSaveAndValidate) {
        SetControlText(hwnd, isSigned ? std::to_string(static_cast<long long>(value))
                                      : std::to_string(static_cast<unsigned long long>(value)));
        return;
    }
    long long parsed = 0;
    if (!ParseInteger(ControlText(hwnd), minValue, maxValue, parsed)) {
        Complain(dx, win::NotAnIntegerMessage());
        return;
    }
    value = static_cast<T>(parsed);
}

template <class T>
void TextNumber(CDataExchange* dx, int id, T& value, int digits)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareEditCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (!dx->m_bSaveAndValidate) {
        // Enough digits to give the value back unchanged when it is read.
        char text[64];
        snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        SetControlText(hwnd, text);
        return;
    }
    double parsed = 0;
    if (!ParseNumber(ControlText(hwnd), parsed)) {
        Complain(dx, win::NotANumberMessage());
        return;
    }
    value = static_cast<T>(parsed);
}

}  // namespace

HWND CDataExchange::PrepareCtrl(UINT id)
{
    m_idLastControl = id;
    const HWND hwnd = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, static_cast<int>(id)) : nullptr;
    if (!hwnd) {
        Logger::log("ERROR CDataExchange::PrepareCtrl the dialog has no control %u", 1, id);
        Fail();
    }
    return hwnd;
}

void CDataExchange::Fail()
{
    m_failed = true;
}

void DDX_Text(CDataExchange* dx, int id, int& value)
{
    TextInteger(dx, id, value, INT_MIN, INT_MAX, true);
}

void DDX_Text(CDataExchange* dx, int id, unsigned& value)
{
    TextInteger(dx, id, value, 0, UINT_MAX, false);
}

void DDX_Text(CDataExchange* dx, int id, long& value)
{
    TextInteger(dx, id, value, LONG_MIN, LONG_MAX, true);
}

void DDX_Text(CDataExchange* dx, int id, float& value)
{
    TextNumber(dx, id, value, FLT_DIG);
}

void DDX_Text(CDataExchange* dx, int id, double& value)
{
    TextNumber(dx, id, value, DBL_DIG);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareEditCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (dx->m_bSaveAndValidate) value = ControlText(hwnd);
    else SetControlText(hwnd, value);
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessage(hwnd, BM_GETCHECK, 0, 0));
    else ::SendMessage(hwnd, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& value)
{
    if (!dx->Active()) return;
    const HWND first = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!first) return;
    const std::vector<HWND> group = win::RadioGroupOf(first);
    if (dx->m_bSaveAndValidate) {
        value = -1;
        for (size_t i = 0; i < group.size(); ++i) {
            if (::SendMessage(group[i], BM_GETCHECK, 0, 0) == BST_CHECKED) {
                value = static_cast<int>(i);
                break;
            }
        }
        return;
    }
    for (size_t i = 0; i < group.size(); ++i)
        ::SendMessage(group[i], BM_SETCHECK, static_cast<int>(i) == value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DDX_CBString(CDataExchange* dx, int id, std::string& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    win::WindowData* w = win::WindowSystem::Get().Find(hwnd);
    const bool editable = w && (w->style & 3) != CBS_DROPDOWNLIST;
    if (dx->m_bSaveAndValidate) {
        value = ControlText(hwnd);
        return;
    }
    if (editable) {
        const LRESULT found = ::SendMessage(hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(value.c_str()));
        if (found >= 0) ::SendMessage(hwnd, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
        SetControlText(hwnd, value);
    } else {
        ::SendMessage(hwnd, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.c_str()));
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessage(hwnd, CB_GETCURSEL, 0, 0));
    else ::SendMessage(hwnd, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void DDX_LBIndex(CDataExchange* dx, int id, int& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessage(hwnd, LB_GETCURSEL, 0, 0));
    else ::SendMessage(hwnd, LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void DDX_Slider(CDataExchange* dx, int id, int& value)
{
    if (!dx->Active()) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (!hwnd) return;
    if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessage(hwnd, TBM_GETPOS, 0, 0));
    else ::SendMessage(hwnd, TBM_SETPOS, TRUE, value);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!dx->Active() || control.m_hWnd) return;
    const HWND hwnd = dx->PrepareCtrl(static_cast<UINT>(id));
    if (hwnd && !control.SubclassWindow(hwnd)) dx->Fail();
}

namespace {
template <class T>
void CheckRange(CDataExchange* dx, T value, T minValue, T maxValue, const std::string& message)
{
    if (!dx->m_bSaveAndValidate || !dx->Active()) return;
    if (value < minValue || value > maxValue) Complain(dx, message);
}
}  // namespace

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue)
{
    CheckRange(dx, value, minValue, maxValue, win::IntegerRangeMessage(minValue, maxValue));
}

void DDV_MinMaxUInt(CDataExchange* dx, unsigned value, unsigned minValue, unsigned maxValue)
{
    CheckRange(dx, value, minValue, maxValue, win::IntegerRangeMessage(minValue, maxValue));
}

void DDV_MinMaxLong(CDataExchange* dx, long value, long minValue, long maxValue)
{
    CheckRange(dx, value, minValue, maxValue, win::IntegerRangeMessage(minValue, maxValue));
}

void DDV_MinMaxFloat(CDataExchange* dx, float value, float minValue, float maxValue)
{
    CheckRange(dx, value, minValue, maxValue, win::NumberRangeMessage(minValue, maxValue));
}

void DDV_MinMaxDouble(CDataExchange* dx, double value, double minValue, double maxValue)
{
    CheckRange(dx, value, minValue, maxValue, win::NumberRangeMessage(minValue, maxValue));
}

void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars)
{
    if (!dx->m_bSaveAndValidate) {
        // Loading: the edit takes no more than that many characters.
        if (dx->Active() && dx->m_idLastControl)
            ::SendMessage(::GetDlgItem(dx->m_pDlgWnd->m_hWnd, static_cast<int>(dx->m_idLastControl)), EM_LIMITTEXT,
                          static_cast<WPARAM>(maxChars), 0);
        return;
    }
    if (dx->Active() && static_cast<int>(value.size()) > maxChars) Complain(dx, win::TooManyCharsMessage(maxChars));
}
