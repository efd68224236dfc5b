#include "fake_user32.h"

#include <cstring>

std::function<void(HWND)> fakeUser;
bool fakeDialogCannotOpen = false;

namespace {

DialogWindow* control(HWND dialog, int id) {
    auto it = dialog->controls.find(id);
    return it == dialog->controls.end() ? nullptr : it->second.get();
}

void addControl(DialogWindow& d, int id, const char* text) {
    auto c = std::make_unique<DialogWindow>();
    c->id = id;
    c->text = text;
    d.controls[id] = std::move(c);
}

void sendCommand(HWND dialog, int id, unsigned code) {
    dialog->procedure(dialog, WM_COMMAND, (WPARAM(code) << 16) | WPARAM(id), 0);
}

} // namespace

INT_PTR DialogBoxParamA(void*, const char* dialogTemplate, HWND, DLGPROC procedure,
                        LPARAM parameter) {
    if (fakeDialogCannotOpen || dialogTemplate != MAKEINTRESOURCEA(IDD_SETTINGS))
        return -1;
    DialogWindow d;
    d.procedure = procedure;
    for (int id : {IDOK, IDCANCEL, IDC_GAIN_SLIDER, IDC_THRESHOLD_SLIDER, IDC_PREVIEW,
                   IDC_GAIN_READOUT, IDC_THRESHOLD_READOUT, IDC_SCURVE, IDC_BYPASS_TITLES})
        addControl(d, id, "");
    addControl(d, IDC_GAMMA, "1");
    if (procedure(&d, WM_INITDIALOG, 0, parameter)) d.focus = IDOK;
    if (fakeUser) fakeUser(&d);
    if (!d.ended) fakeKey(&d, IDCANCEL);
    fakeFocus(&d, 0); // ending the dialog takes the focus off its controls
    return d.result;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindow* c = control(dialog, id);
    if (!c) return 0;
    switch (message) {
    case TBM_SETTICFREQ:
        c->ticFrequency = int(wParam);
        return 0;
    case TBM_SETRANGE:
        c->minimum = int(lParam & 0xFFFF), c->maximum = int((lParam >> 16) & 0xFFFF);
        return 0;
    case TBM_SETPOS:
        c->position = std::max(c->minimum, std::min(c->maximum, int(lParam)));
        return 0;
    case TBM_GETPOS:
        return c->position;
    case WM_SETTEXT:
        c->text = reinterpret_cast<const char*>(lParam);
        return 1;
    case WM_GETTEXT: {
        const std::size_t n = std::min<std::size_t>(c->text.size(), wParam ? wParam - 1 : 0);
        if (wParam) {
            std::memcpy(reinterpret_cast<char*>(lParam), c->text.data(), n);
            reinterpret_cast<char*>(lParam)[n] = '\0';
        }
        return LRESULT(n);
    }
    default:
        return 0;
    }
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL) {
    if (DialogWindow* c = control(dialog, id)) c->text = std::to_string(value);
    return 1;
}
BOOL CheckDlgButton(HWND dialog, int id, UINT state) {
    if (DialogWindow* c = control(dialog, id)) c->checked = state;
    return 1;
}
UINT IsDlgButtonChecked(HWND dialog, int id) {
    DialogWindow* c = control(dialog, id);
    return c ? c->checked : 0;
}
HWND GetDlgItem(HWND dialog, int id) {
    return control(dialog, id);
}
LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    return index == DWLP_USER ? window->userData : 0;
}
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    const LONG_PTR old = window->userData;
    if (index == DWLP_USER) window->userData = value;
    return old;
}
BOOL EndDialog(HWND dialog, INT_PTR result) {
    dialog->ended = true;
    dialog->result = result;
    return 1;
}

void fakeMoveSlider(HWND dialog, int id, int position) {
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, 1, position);
    dialog->procedure(dialog, WM_HSCROLL, 0, 0);
    dialog->procedure(dialog, WM_NOTIFY, WPARAM(id), 0);
}
void fakeFocus(HWND dialog, int id) {
    const int old = dialog->focus;
    dialog->focus = id;
    if (old == IDC_GAMMA && id != IDC_GAMMA) sendCommand(dialog, IDC_GAMMA, EN_KILLFOCUS);
}
void fakeType(HWND dialog, int id, const std::string& text) {
    fakeFocus(dialog, id);
    control(dialog, id)->text = text;
    sendCommand(dialog, id, 0x0300); // EN_CHANGE: not a commit
}
void fakeClick(HWND dialog, int id) {
    DialogWindow* c = control(dialog, id);
    if (id == IDC_SCURVE || id == IDC_BYPASS_TITLES) c->checked = c->checked ? 0 : BST_CHECKED;
    fakeFocus(dialog, id);
    sendCommand(dialog, id, 0); // BN_CLICKED
}
void fakeKey(HWND dialog, int command) {
    sendCommand(dialog, command, 0);
}
