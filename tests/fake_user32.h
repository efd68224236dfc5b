// A stand-in for the few window-system calls the settings dialog makes, so
// that its message procedure can be driven message by message on Linux.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dialog_api.h"
#include "host_api.h"

struct DialogWindow {
    int id = 0;
    std::string text;
    UINT checked = BST_UNCHECKED;
    int position = 0, minimum = 0, maximum = 100, ticFrequency = 1; // sliders
    std::map<int, std::unique_ptr<DialogWindow>> controls;          // the dialog's
    LONG_PTR userData = 0;
    bool ended = false;
    INT_PTR result = 0;
    int focus = 0; // control id with the keyboard focus
    DLGPROC procedure = nullptr;
};

// What the next DialogBoxParamA does after initialisation: the user's part.
extern std::function<void(HWND)> fakeUser;
extern bool fakeDialogCannotOpen;

// User actions, each followed by what the dialog manager and controls send.
void fakeMoveSlider(HWND dialog, int id, int position);
void fakeType(HWND dialog, int id, const std::string& text); // focus in the box, new text
void fakeFocus(HWND dialog, int id);    // moves the focus; the box losing it reports so
void fakeClick(HWND dialog, int id);    // check boxes toggle first, then the command
void fakeKey(HWND dialog, int command); // Enter (IDOK) or Escape (IDCANCEL)

// The host's preview, recording each call.
struct RecordingPreview : IFilterPreview {
    std::vector<std::string> calls;
    WindowHandle lastWindow = nullptr;
    void slot0() override {}
    void slot1() override {}
    void slot2() override {}
    void Toggle(WindowHandle w) override { calls.push_back("Toggle"), lastWindow = w; }
    void slot4() override {}
    void RedoFrame() override { calls.push_back("RedoFrame"); }
    void slot6() override {}
    void slot7() override {}
    void InitButton(WindowHandle w) override { calls.push_back("InitButton"), lastWindow = w; }
};
