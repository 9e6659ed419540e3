// Dialog data exchange: DDX functions move a value between a member and a
// control in the direction of the exchange; DDV functions check a value
// when saving. A failure shows the message through the prompter, marks the
// exchange failed and leaves every later call of the same exchange without
// effect, so that UpdateData reports it and the dialog stays open.
#pragma once

#include "platform/win/win_defs.h"

#include <string>

class CDialog;
class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    UINT m_idLastControl = 0;

    // The control of an id; remembers it as the one the focus goes to on a
    // failure. Null (and the exchange failed) when the dialog has none.
    HWND PrepareCtrl(UINT id);
    HWND PrepareEditCtrl(UINT id) { return PrepareCtrl(id); }
    // Marks the exchange failed; the first failure is kept.
    void Fail();
    bool Failed() const { return m_failed; }
    // True when the calls of this exchange still act.
    bool Active() const { return !m_failed; }

private:
    bool m_failed = false;
};

void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, unsigned& value);
void DDX_Text(CDataExchange* dx, int id, long& value);
void DDX_Text(CDataExchange* dx, int id, float& value);
void DDX_Text(CDataExchange* dx, int id, double& value);
void DDX_Text(CDataExchange* dx, int id, std::string& value);
// Check boxes: 0, 1 or 2.
void DDX_Check(CDataExchange* dx, int id, int& value);
// Radio groups: `id` is the first button of the group (WS_GROUP); the value
// is the index of the checked button in the group, -1 for none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBString(CDataExchange* dx, int id, std::string& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& value);
void DDX_LBIndex(CDataExchange* dx, int id, int& value);
void DDX_Slider(CDataExchange* dx, int id, int& value);
// Attaches a member control object to the dialog's control.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue);
void DDV_MinMaxUInt(CDataExchange* dx, unsigned value, unsigned minValue, unsigned maxValue);
void DDV_MinMaxLong(CDataExchange* dx, long value, long minValue, long maxValue);
void DDV_MinMaxFloat(CDataExchange* dx, float value, float minValue, float maxValue);
void DDV_MinMaxDouble(CDataExchange* dx, double value, double minValue, double maxValue);
void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars);

namespace win {

// The texts the data exchange shows (our own wording).
std::string IntegerRangeMessage(long long minValue, long long maxValue);
std::string NumberRangeMessage(double minValue, double maxValue);
std::string NotAnIntegerMessage();
std::string NotANumberMessage();
std::string TooManyCharsMessage(int maxChars);

}  // namespace win
