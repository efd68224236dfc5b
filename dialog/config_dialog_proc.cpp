// The settings dialog's message procedure.
//
// The dialog edits the instance's settings in place and asks the host's
// preview to redraw after every change; the configuration procedure undoes
// it all on Cancel. Its only state is the settings record's address, kept
// in the dialog window's user-data slot: slider positions, check boxes and
// the gamma text live in the controls.
//
//   init          attach the record; check boxes, slider ranges and
//                 positions, the gamma text; hand the Preview button to the
//                 preview; the readouts stay empty until the first event
//   notification  (any control, any code) both sliders -> gain and
//                 threshold, the readouts, a redraw
//   OK / Cancel   end the dialog with 0 / 1
//   Preview       toggle the preview window
//   gamma box     on losing the focus: parse, clamp to 0.2..5.0, show it
//                 back with two decimals, rebuild the tone table, redraw
//   S-type curve  the flag, the tone table, a redraw
//   bypass titles the flag, a redraw
// Scroll messages are left to the platform: slider moves arrive as
// notifications.
#include "dialog_api.h"
#include "frame_state_lock.h"
#include "frame_stats.h"
#include "gamma_text.h"
#include "host_api.h"
#include "setting_table.h"
#include "settings.h"
#include "tone.h"

namespace {

// The 32-bit plug-in keeps the record at DWL_USER with the 32-bit window
// long calls; wider builds need the pointer-sized ones.
#if defined(_WIN32) && !defined(_WIN64)
void attachSettings(HWND dialog, FilterSettings* s) {
    SetWindowLongA(dialog, DWL_USER, reinterpret_cast<LONG>(s));
}
FilterSettings* attachedSettings(HWND dialog) {
    return reinterpret_cast<FilterSettings*>(GetWindowLongA(dialog, DWL_USER));
}
#else
void attachSettings(HWND dialog, FilterSettings* s) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
}
FilterSettings* attachedSettings(HWND dialog) {
    return reinterpret_cast<FilterSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
}
#endif

LRESULT send(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

void setUpSlider(HWND dialog, int id, int ticFrequency, int maximum, std::int32_t position) {
    send(dialog, id, TBM_SETTICFREQ, static_cast<WPARAM>(ticFrequency), 0);
    send(dialog, id, TBM_SETRANGE, 0, MAKELPARAM(0, static_cast<unsigned>(maximum)));
    send(dialog, id, TBM_SETPOS, 1, static_cast<LPARAM>(position));
}

std::int32_t sliderPosition(HWND dialog, int id) {
    return static_cast<std::int32_t>(send(dialog, id, TBM_GETPOS, 0, 0));
}

void initialise(HWND dialog, FilterSettings& s) {
    attachSettings(dialog, &s);
    CheckDlgButton(dialog, IDC_SCURVE, s.sCurve ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_BYPASS_TITLES, s.bypassTitles ? BST_CHECKED : BST_UNCHECKED);
    setUpSlider(dialog, IDC_GAIN_SLIDER, 5, kSettingTable[kGainSetting].maximum, s.gainPercent);
    setUpSlider(dialog, IDC_THRESHOLD_SLIDER, 16, kSettingTable[kThresholdSetting].maximum,
                s.threshold);
    setItemDouble(dialog, IDC_GAMMA, s.gamma);
    s.preview->InitButton(GetDlgItem(dialog, IDC_PREVIEW));
}

void readSliders(HWND dialog, FilterSettings& s) {
    s.threshold = sliderPosition(dialog, IDC_THRESHOLD_SLIDER);
    s.gainPercent = sliderPosition(dialog, IDC_GAIN_SLIDER);
    SetDlgItemInt(dialog, IDC_THRESHOLD_READOUT, static_cast<UINT>(s.threshold), 0);
    SetDlgItemInt(dialog, IDC_GAIN_READOUT, static_cast<UINT>(s.gainPercent), 0);
    s.preview->RedoFrame();
}

// The tone table is every instance's, and another instance's frame may be
// running on another thread: rebuild it between frame runs only.
void rebuildToneTable(const FilterSettings& s) {
    FrameStateLock lock;
    buildToneTable(sharedFrameState.toneTable, s.gamma, s.sCurve);
}

void commitGamma(HWND dialog, FilterSettings& s) {
    const SettingInfo& range = kSettingTable[kGammaSetting];
    double gamma = getItemDouble(dialog, IDC_GAMMA);
    if (gamma < dialogGamma(range.minimum)) gamma = dialogGamma(range.minimum); // 0.2
    if (gamma > dialogGamma(range.maximum)) gamma = dialogGamma(range.maximum); // 5.0
    s.gamma = gamma;
    setItemDouble(dialog, IDC_GAMMA, gamma);
    rebuildToneTable(s);
    s.preview->RedoFrame();
}

void command(HWND dialog, FilterSettings& s, unsigned id, unsigned code) {
    switch (id) {
    case IDOK:
        EndDialog(dialog, 0);
        break;
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    case IDC_PREVIEW:
        s.preview->Toggle(dialog);
        break;
    case IDC_GAMMA:
        if (code == EN_KILLFOCUS) commitGamma(dialog, s);
        break;
    case IDC_SCURVE:
        s.sCurve = IsDlgButtonChecked(dialog, IDC_SCURVE) ? 1 : 0;
        rebuildToneTable(s);
        s.preview->RedoFrame();
        break;
    case IDC_BYPASS_TITLES:
        s.bypassTitles = IsDlgButtonChecked(dialog, IDC_BYPASS_TITLES) ? 1 : 0;
        s.preview->RedoFrame();
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        initialise(dialog, *reinterpret_cast<FilterSettings*>(lParam));
        return 1; // the platform puts the focus on the first tab stop (OK)
    }
    FilterSettings* s = attachedSettings(dialog);
    if (s == nullptr) return 0; // before initialisation nothing is attached
    if (message == WM_NOTIFY) {
        readSliders(dialog, *s);
    } else if (message == WM_COMMAND) {
        command(dialog, *s, LOWORD(wParam), HIWORD(wParam));
    }
    return 0;
}

double getItemDouble(HWND dialog, int id) {
    char text[32] = {};
    send(dialog, id, WM_GETTEXT, 28, reinterpret_cast<LPARAM>(text));
    text[sizeof text - 1] = '\0';
    return parseGammaText(text);
}

void setItemDouble(HWND dialog, int id, double value) {
    char text[32];
    formatGammaText(value, text);
    send(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
