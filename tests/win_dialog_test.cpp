// The settings dialog in a real window system, worked by real input.
//
// The test program plays the video host through the shared plug-in host:
// it loads the plug-in from beside itself, registers the filter, makes an
// instance, and opens the dialog through configProc on its main thread,
// over a host window of its own, with a fake preview that logs every call
// together with the record as it stood then.
//
// While the main thread sits in the dialog's modal loop, a second thread
// finds the dialog and works it the way a user would: SendInput mouse clicks
// and drags at the controls' screen positions, SendInput key strokes to the
// focused control. It waits for every effect with a time limit (the record,
// read on the main thread through a message to the host window; the
// preview's log; the controls' texts and states), and a watchdog ends a
// dialog that stays open too long, so a fault never hangs the run. Only
// what a real dialog can show is tested here: the template opens, real keys
// and clicks reach the logic, Cancel restores every byte. Needs an X
// display under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_ids.h"
#include "host_harness.h"
#include "settings.h"

namespace {

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The driving thread reports here; the main thread waits in the dialog's
// modal loop meanwhile, so only one thread reports at a time.
bool check(bool ok, const char* scenario, const std::string& what) {
    if (!ok) ADD_FAILURE() << scenario << ": " << what;
    return ok;
}

bool sameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---------------------------------------------------------------- the record

using Record = FilterSettings;
static_assert(sizeof(Record) == (sizeof(void*) == 4 ? 32 : 40), "the host's record");

Record recordFrom(const void* bytes) {
    Record r;
    std::memcpy(&r, bytes, sizeof r);
    return r;
}

bool sameRecord(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string describe(const Record& r) {
    char text[160];
    unsigned char bytes[sizeof r];
    constexpr std::size_t kPad = offsetof(Record, showStats) + 1; // three bytes before gainPercent
    std::memcpy(bytes, &r, sizeof r);
    std::snprintf(
        text, sizeof text,
        "{preview %p, showStats %u, pad %02x%02x%02x, gain %ld, threshold %ld, gamma %.17g, "
        "sCurve %ld, bypassTitles %ld}",
        static_cast<void*>(r.preview), static_cast<unsigned>(r.showStats), bytes[kPad],
        bytes[kPad + 1], bytes[kPad + 2], static_cast<long>(r.gainPercent), static_cast<long>(r.threshold), r.gamma,
        static_cast<long>(r.sCurve), static_cast<long>(r.bypassTitles));
    return text;
}

// ---------------------------------------------------------------- the fake preview

enum class Call { InitButton, Toggle, RedoFrame, Other };

struct PreviewCall {
    Call call;
    HWND window;   // the argument of InitButton and Toggle
    Record record; // the instance record at the time of the call
};

// Logs every call with a copy of the record. The calls come on the main
// thread (the dialog's), the reads from the driving thread.
class FakePreview final : public IFilterPreview {
  public:
    explicit FakePreview(const void* record) : record_(record) {
        InitializeCriticalSection(&lock_);
    }
    ~FakePreview() { DeleteCriticalSection(&lock_); }
    FakePreview(const FakePreview&) = delete;
    FakePreview& operator=(const FakePreview&) = delete;

    void slot0() override { log(Call::Other, nullptr); }
    void slot1() override { log(Call::Other, nullptr); }
    void slot2() override { log(Call::Other, nullptr); }
    void Toggle(WindowHandle dialog) override { log(Call::Toggle, static_cast<HWND>(dialog)); }
    void slot4() override { log(Call::Other, nullptr); }
    void RedoFrame() override { log(Call::RedoFrame, nullptr); }
    void slot6() override { log(Call::Other, nullptr); }
    void slot7() override { log(Call::Other, nullptr); }
    void InitButton(WindowHandle button) override {
        log(Call::InitButton, static_cast<HWND>(button));
    }

    std::vector<PreviewCall> calls() {
        EnterCriticalSection(&lock_);
        std::vector<PreviewCall> copy = calls_;
        LeaveCriticalSection(&lock_);
        return copy;
    }

  private:
    void log(Call call, HWND window) {
        EnterCriticalSection(&lock_);
        calls_.push_back({call, window, recordFrom(record_)});
        LeaveCriticalSection(&lock_);
    }

    const void* record_;
    CRITICAL_SECTION lock_;
    std::vector<PreviewCall> calls_;
};

int count(const std::vector<PreviewCall>& calls, Call kind) {
    int n = 0;
    for (const PreviewCall& c : calls) n += c.call == kind;
    return n;
}

// ---------------------------------------------------------------- the host

// The host window answers this message on the main thread by copying the
// instance record to lParam: the driving thread's race-free view of it.
constexpr UINT kReadRecord = WM_APP + 1;
void* instanceRecord = nullptr;
HWND hostWindow = nullptr; // the host's main window: the dialog's parent

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kReadRecord) {
        std::memcpy(reinterpret_cast<void*>(lParam), instanceRecord, sizeof(Record));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createHostWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = hostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "VelmorTestHost";
    if (!RegisterClassA(&wc)) return nullptr;
    return CreateWindowA("VelmorTestHost", "test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                         640, 480, nullptr, nullptr, wc.hInstance, nullptr);
}

// ---------------------------------------------------------------- real input

constexpr DWORD kStepTimeoutMs = 10000;
constexpr DWORD kDialogTimeoutMs = 30000;

struct StepFailed {};

void sendInputs(std::vector<INPUT>& inputs) {
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) {
        check(false, "input",
              "SendInput sent " + std::to_string(sent) + " of " + std::to_string(inputs.size()) +
                  " events");
        throw StepFailed{};
    }
}

INPUT keyEvent(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

// Absolute mouse coordinates are 0..65535 across the primary screen; this
// rounds up so that the system's truncation lands on the pixel itself.
INPUT mouseEvent(POINT p, DWORD flags) {
    const LONG w = GetSystemMetrics(SM_CXSCREEN);
    const LONG h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(p.x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(p.y) * 65536 + h - 1) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

POINT centreOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Works the dialog from the second thread.
class Driver {
  public:
    Driver(const char* scenario, DWORD dialogThread, FakePreview& preview)
        : scenario(scenario), preview(preview), dialogThread_(dialogThread) {}

    const char* scenario;
    HWND dialog = nullptr;
    FakePreview& preview;

    bool expect(bool ok, const std::string& what) { return check(ok, scenario, what); }

    // Polls `done` until it holds; a failure of the scenario after the time limit.
    // `found` describes what there was instead.
    void waitFor(const std::string& what, const std::function<bool()>& done,
                 const std::function<std::string()>& found = nullptr,
                 DWORD timeoutMs = kStepTimeoutMs) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs) {
                expect(false, "timed out waiting for " + what +
                                  (found ? " (found " + found() + ")" : std::string()));
                throw StepFailed{};
            }
            Sleep(10);
        }
    }

    void findDialog() {
        waitFor("the dialog to open", [this] {
            dialog = FindWindowA("#32770", "filter: Velmor");
            return dialog != nullptr && IsWindowVisible(dialog) &&
                   GetWindowThreadProcessId(dialog, nullptr) == dialogThread_ &&
                   !preview.calls().empty();
        });
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }

    std::string text(int id) const {
        char buffer[64] = {};
        GetWindowTextA(item(id), buffer, sizeof buffer);
        return buffer;
    }

    int sliderPosition(int id) const {
        return static_cast<int>(SendMessageA(item(id), TBM_GETPOS, 0, 0));
    }

    // The record now, copied on the main thread.
    Record record() const {
        Record r;
        SendMessageA(hostWindow, kReadRecord, 0, reinterpret_cast<LPARAM>(&r));
        return r;
    }

    HWND focus() const { return threadInfo().hwndFocus; }
    HWND capture() const { return threadInfo().hwndCapture; }

    // Keys go to the foreground window's focus: make sure that is the dialog.
    void ensureForeground() {
        if (GetForegroundWindow() == dialog) return;
        SetForegroundWindow(dialog);
        waitFor("the dialog to come to the foreground",
                [this] { return GetForegroundWindow() == dialog; });
    }

    // A click close to the last one in place and time would be a double
    // click (which, for one, does not focus an edit box): wait it out.
    void clickAt(POINT p) {
        static POINT lastPoint = {-1000, -1000};
        static DWORD lastTime = 0;
        if (std::abs(p.x - lastPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
            std::abs(p.y - lastPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK)) {
            const DWORD since = GetTickCount() - lastTime;
            const DWORD needed = GetDoubleClickTime() + 50;
            if (since < needed) Sleep(needed - since);
        }
        std::vector<INPUT> in = {mouseEvent(p, 0), mouseEvent(p, MOUSEEVENTF_LEFTDOWN),
                                 mouseEvent(p, MOUSEEVENTF_LEFTUP)};
        sendInputs(in);
        lastPoint = p;
        lastTime = GetTickCount();
    }

    void click(int id) { clickAt(centreOf(item(id))); }

    // Presses the left button at `from`, moves to `to` in steps and waits
    // for `arrived` before releasing it there.
    void drag(POINT from, POINT to, HWND target, const std::string& what,
              const std::function<bool()>& arrived) {
        std::vector<INPUT> press = {mouseEvent(from, 0), mouseEvent(from, MOUSEEVENTF_LEFTDOWN)};
        sendInputs(press);
        waitFor("the mouse captured for " + what, [&] { return capture() == target; });
        for (int i = 1; i <= 4; ++i) {
            const POINT p = {from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4};
            std::vector<INPUT> move = {mouseEvent(p, 0)};
            sendInputs(move);
            Sleep(20);
        }
        waitFor(what, arrived);
        std::vector<INPUT> release = {mouseEvent(to, MOUSEEVENTF_LEFTUP)};
        sendInputs(release);
        waitFor("the mouse released after " + what, [&] { return capture() == nullptr; });
    }

    void keys(std::initializer_list<WORD> vks, int times = 1) {
        ensureForeground();
        std::vector<INPUT> in;
        for (int t = 0; t < times; ++t) {
            for (WORD vk : vks) {
                in.push_back(keyEvent(vk, false));
                in.push_back(keyEvent(vk, true));
            }
        }
        sendInputs(in);
    }

    void shiftKey(WORD vk) {
        ensureForeground();
        std::vector<INPUT> in = {keyEvent(VK_SHIFT, false), keyEvent(vk, false), keyEvent(vk, true),
                                 keyEvent(VK_SHIFT, true)};
        sendInputs(in);
    }

    // Types characters as key strokes of the keyboard layout.
    void type(const char* chars) {
        ensureForeground();
        std::vector<INPUT> in;
        for (const char* c = chars; *c; ++c) {
            const SHORT scan = VkKeyScanA(*c);
            if (scan == -1 || (scan & 0x0600)) { // needs Ctrl/Alt: not a plain key
                expect(false, std::string("no plain key types '") + *c + "'");
                throw StepFailed{};
            }
            const WORD vk = static_cast<WORD>(scan & 0xFF);
            const bool shift = (scan & 0x0100) != 0;
            if (shift) in.push_back(keyEvent(VK_SHIFT, false));
            in.push_back(keyEvent(vk, false));
            in.push_back(keyEvent(vk, true));
            if (shift) in.push_back(keyEvent(VK_SHIFT, true));
        }
        sendInputs(in);
    }

    void waitFocus(int id, const char* name) {
        waitFor(
            std::string("the focus on the ") + name, [this, id] { return focus() == item(id); },
            [this] {
                return describeWindow(focus()) + "; foreground " +
                       describeWindow(GetForegroundWindow());
            });
    }

    std::string describeWindow(HWND window) const {
        if (!window) return "none";
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        return std::string(name) + (GetParent(window) == dialog
                                        ? " id " + std::to_string(GetDlgCtrlID(window))
                                    : window == dialog ? " (the dialog)"
                                                       : "");
    }

    // The centre of a slider's thumb on the screen: a click there focuses
    // the slider without moving it.
    POINT thumbCentre(int id) const {
        RECT r{};
        SendMessageA(item(id), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
        POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        MapWindowPoints(item(id), nullptr, &p, 1);
        return p;
    }

    // Replaces the gamma box's text: a click into it, Home, Shift+End, the
    // characters. Waits until the box shows them.
    void typeGamma(const char* chars) {
        click(IDC_GAMMA);
        waitFocus(IDC_GAMMA, "gamma box");
        keys({VK_HOME});
        shiftKey(VK_END);
        type(chars);
        waitFor(
            std::string("the gamma box to read ") + quoted(chars),
            [&] { return text(IDC_GAMMA) == chars; }, [&] { return quoted(text(IDC_GAMMA)); });
    }

    // Waits until the record satisfies `holds` and the preview has been
    // asked to redraw with it (the latest RedoFrame saw the same record).
    void waitRecord(const std::string& what, const std::function<bool(const Record&)>& holds) {
        waitFor(what + " (record and redraw)", [&] {
            const Record now = record();
            if (!holds(now)) return false;
            const std::vector<PreviewCall> calls = preview.calls();
            for (auto c = calls.rbegin(); c != calls.rend(); ++c)
                if (c->call == Call::RedoFrame) return sameRecord(c->record, now);
            return false;
        });
    }

    void waitClosed() {
        waitFor("the dialog to close", [this] { return !IsWindow(dialog); });
    }


  private:
    GUITHREADINFO threadInfo() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(dialogThread_, &info)) return GUITHREADINFO{};
        return info;
    }

    DWORD dialogThread_;
};

// ---------------------------------------------------------------- one dialog

struct DialogRun {
    const char* scenario;
    FakePreview* preview;
    std::function<void(Driver&)> steps;
    DWORD mainThread;
    HANDLE finished; // set by the main thread once configProc has returned
};

DWORD WINAPI driveDialog(void* parameter) {
    DialogRun& run = *static_cast<DialogRun*>(parameter);
    Driver driver(run.scenario, run.mainThread, *run.preview);
    try {
        driver.findDialog();
        run.steps(driver);
    } catch (const StepFailed&) {
        // End the dialog as Cancel would, so that the main thread goes on.
        if (driver.dialog && IsWindow(driver.dialog))
            PostMessageA(driver.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return 0;
}

DWORD WINAPI watchDialog(void* parameter) {
    DialogRun& run = *static_cast<DialogRun*>(parameter);
    if (WaitForSingleObject(run.finished, kDialogTimeoutMs) == WAIT_OBJECT_0) return 0;
    check(false, run.scenario, "the dialog was still open after 30 s: closing it");
    if (HWND dialog = FindWindowA("#32770", "filter: Velmor")) PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(run.finished, 10000) == WAIT_OBJECT_0) return 0;
    std::printf("FAIL  %s: the dialog does not close; giving up\n", run.scenario);
    std::fflush(stdout);
    ExitProcess(3);
}

// Runs configProc on this (the main) thread while the steps work the dialog
// from a second thread; returns configProc's result.
int runDialog(const char* scenario, PluginInstance& instance, FakePreview& preview,
              std::function<void(Driver&)> steps) {
    DialogRun run{scenario, &preview, std::move(steps), GetCurrentThreadId(),
                  CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE watchdog = CreateThread(nullptr, 0, watchDialog, &run, 0, nullptr);
    HANDLE driver = CreateThread(nullptr, 0, driveDialog, &run, 0, nullptr);
    if (!watchdog || !driver) {
        check(false, scenario, "cannot start the driving threads");
        ExitProcess(3);
    }
    const int result = instance.config(&preview, static_cast<WindowHandle>(hostWindow));
    // The driver's last step waits for the dialog to close; one that was
    // still waiting for something else fails within a step's time.
    if (WaitForSingleObject(driver, kStepTimeoutMs + 5000) != WAIT_OBJECT_0) {
        check(false, scenario, "the driving thread does not finish");
        std::fflush(stdout);
        ExitProcess(3);
    }
    SetEvent(run.finished);
    WaitForSingleObject(watchdog, INFINITE);
    CloseHandle(driver);
    CloseHandle(watchdog);
    CloseHandle(run.finished);
    return result;
}

// ---------------------------------------------------------------- scenarios

Record recordOf(PluginInstance& instance) {
    return recordFrom(&instance.settings());
}

using D = Driver;

// Slider moves by mouse and keyboard; the readouts; OK keeps the values.
void slidersScenario(PluginInstance& instance) {
    const char* name = "sliders";
    FakePreview preview(&instance.settings());
    const Record before = recordOf(instance);
    const int result = runDialog(name, instance, preview, [](Driver& d) {
        d.expect(GetWindow(d.dialog, GW_OWNER) == hostWindow, "the host window owns the dialog");
        d.expect(!IsWindowEnabled(hostWindow),
                 "the host window is disabled while the dialog runs");
        d.expect(d.sliderPosition(IDC_GAIN_SLIDER) == 100 &&
                     d.sliderPosition(IDC_THRESHOLD_SLIDER) == 10,
                 "sliders start at the record's gain 100 and threshold 10");
        d.expect(d.text(IDC_GAMMA) == " 1.00",
                 "gamma box starts as \" 1.00\", found " + quoted(d.text(IDC_GAMMA)));

        // Gain: drag the thumb past the left end of the channel -> 0.
        RECT channel{};
        SendMessageA(d.item(IDC_GAIN_SLIDER), TBM_GETCHANNELRECT, 0,
                     reinterpret_cast<LPARAM>(&channel));
        POINT left = {channel.left - 40, (channel.top + channel.bottom) / 2};
        MapWindowPoints(d.item(IDC_GAIN_SLIDER), nullptr, &left, 1);
        const POINT thumb = d.thumbCentre(IDC_GAIN_SLIDER);
        left.y = thumb.y;
        d.drag(thumb, left, d.item(IDC_GAIN_SLIDER), "the gain slider at 0",
               [&] { return d.sliderPosition(IDC_GAIN_SLIDER) == 0; });
        d.waitRecord("gain 0",
                     [](const Record& r) { return r.gainPercent == 0 && r.threshold == 10; });
        d.waitFor("gain readout \"0\"", [&] { return d.text(IDC_GAIN_READOUT) == "0"; });

        // The slider keeps the focus: seven steps right -> 7.
        d.waitFocus(IDC_GAIN_SLIDER, "gain slider");
        d.keys({VK_RIGHT}, 7);
        d.waitFor("the gain slider at 7", [&] { return d.sliderPosition(IDC_GAIN_SLIDER) == 7; });
        d.waitRecord("gain 7", [](const Record& r) { return r.gainPercent == 7; });

        // Threshold: click its thumb for the focus, End -> 255, five left -> 250.
        d.clickAt(d.thumbCentre(IDC_THRESHOLD_SLIDER));
        d.waitFocus(IDC_THRESHOLD_SLIDER, "threshold slider");
        d.expect(d.sliderPosition(IDC_THRESHOLD_SLIDER) == 10, "clicking the thumb leaves it at 10");
        d.keys({VK_END});
        d.waitRecord("threshold 255", [](const Record& r) { return r.threshold == 255; });
        d.keys({VK_LEFT}, 5);
        d.waitFor("the threshold slider at 250",
                  [&] { return d.sliderPosition(IDC_THRESHOLD_SLIDER) == 250; });
        d.waitRecord("gain 7, threshold 250",
                     [](const Record& r) { return r.gainPercent == 7 && r.threshold == 250; });
        d.waitFor("readouts \"7\" and \"250\"", [&] {
            return d.text(IDC_GAIN_READOUT) == "7" && d.text(IDC_THRESHOLD_READOUT) == "250";
        });
        const Record now = d.record();
        d.expect(now.preview == &d.preview, "the record names the call's preview while open");
        d.click(IDOK);
        d.waitClosed();
    });
    check(result == 0, name, "OK gives 0, got " + std::to_string(result));
    Record expected = before;
    expected.preview = &preview;
    expected.gainPercent = 7;
    expected.threshold = 250;
    const Record after = recordOf(instance);
    check(sameRecord(after, expected), name,
          "record after OK " + describe(after) + ", expected " + describe(expected));
    check(IsWindowEnabled(hostWindow) != 0, name, "the host window is enabled again");
    const std::vector<PreviewCall> calls = preview.calls();
    check(count(calls, Call::Other) == 0 && count(calls, Call::Toggle) == 0, name,
          "only InitButton and RedoFrame were called");
    bool allNamePreview = true;
    for (const PreviewCall& c : calls)
        if (c.call == Call::RedoFrame) allNamePreview &= c.record.preview == &preview;
    check(allNamePreview, name, "every redraw saw the record naming the preview");
}

// The gamma box commits on losing the focus, clamped and shown with two decimals.
void gammaScenario(PluginInstance& instance) {
    const char* name = "gamma";
    FakePreview preview(&instance.settings());
    const Record before = recordOf(instance);
    const int result = runDialog(name, instance, preview, [&before](Driver& d) {
        // ".333": the box does not scroll, so it refuses text wider than
        // itself, and in Wine's stand-in for the dialog font "0.333" is.
        d.typeGamma(".333");
        d.expect(sameDouble(d.record().gamma, before.gamma), "typing alone leaves gamma alone");
        d.keys({VK_TAB});
        d.waitFocus(IDC_SCURVE, "S-type curve box");
        d.waitRecord("gamma 0.333", [](const Record& r) { return sameDouble(r.gamma, 0.333); });
        d.waitFor("the gamma box to read \" 0.33\"",
                  [&] { return d.text(IDC_GAMMA) == " 0.33"; });
        d.expect(d.record().sCurve == 0, "the Tab into the check box does not tick it");

        // Back in (Shift+Tab selects the text) and out again: the shown 0.33 is taken.
        d.shiftKey(VK_TAB);
        d.waitFocus(IDC_GAMMA, "gamma box");
        d.keys({VK_TAB});
        d.waitRecord("gamma 0.33", [](const Record& r) { return sameDouble(r.gamma, 0.33); });

        // Out of range: clamped to 5.00 and to 0.20.
        d.typeGamma("7.5");
        d.keys({VK_TAB});
        d.waitRecord("gamma clamped to 5", [](const Record& r) { return r.gamma == 5.0; });
        d.waitFor("the gamma box to read \" 5.00\"",
                  [&] { return d.text(IDC_GAMMA) == " 5.00"; });
        d.typeGamma("0.05");
        d.keys({VK_TAB});
        d.waitRecord("gamma clamped to 0.2", [](const Record& r) { return r.gamma == 0.2; });
        d.waitFor("the gamma box to read \" 0.20\"",
                  [&] { return d.text(IDC_GAMMA) == " 0.20"; });
        d.typeGamma("0.33");
        d.keys({VK_TAB});
        d.waitRecord("gamma 0.33 again", [](const Record& r) { return sameDouble(r.gamma, 0.33); });
        d.click(IDOK);
        d.waitClosed();
    });
    check(result == 0, name, "OK gives 0, got " + std::to_string(result));
    Record expected = before;
    expected.preview = &preview;
    expected.gamma = 0.33;
    const Record after = recordOf(instance);
    check(sameRecord(after, expected), name,
          "record after OK " + describe(after) + ", expected " + describe(expected));
}

// Mouse clicks on both check boxes.
void checkBoxScenario(PluginInstance& instance) {
    const char* name = "check boxes";
    FakePreview preview(&instance.settings());
    const Record before = recordOf(instance);
    const int result = runDialog(name, instance, preview, [](Driver& d) {
        d.expect(IsDlgButtonChecked(d.dialog, IDC_SCURVE) == BST_UNCHECKED &&
                     IsDlgButtonChecked(d.dialog, IDC_BYPASS_TITLES) == BST_UNCHECKED,
                 "both boxes start unticked, as the record has them");
        d.click(IDC_SCURVE);
        d.waitRecord("S-type curve on", [](const Record& r) { return r.sCurve == 1; });
        d.expect(d.record().bypassTitles == 0, "bypass titles still off");
        d.click(IDC_BYPASS_TITLES);
        d.waitRecord("bypass titles on",
                     [](const Record& r) { return r.sCurve == 1 && r.bypassTitles == 1; });
        d.expect(IsDlgButtonChecked(d.dialog, IDC_SCURVE) == BST_CHECKED &&
                     IsDlgButtonChecked(d.dialog, IDC_BYPASS_TITLES) == BST_CHECKED,
                 "both boxes ticked");
        d.click(IDOK);
        d.waitClosed();
    });
    check(result == 0, name, "OK gives 0, got " + std::to_string(result));
    Record expected = before;
    expected.preview = &preview;
    expected.sCurve = 1;
    expected.bypassTitles = 1;
    const Record after = recordOf(instance);
    check(sameRecord(after, expected), name,
          "record after OK " + describe(after) + ", expected " + describe(expected));

    // A new dialog shows the ticks; a click takes one off again.
    FakePreview second(&instance.settings());
    const int again = runDialog(name, instance, second, [](Driver& d) {
        d.expect(IsDlgButtonChecked(d.dialog, IDC_SCURVE) == BST_CHECKED &&
                     IsDlgButtonChecked(d.dialog, IDC_BYPASS_TITLES) == BST_CHECKED,
                 "a new dialog shows both boxes ticked");
        d.click(IDC_BYPASS_TITLES);
        d.waitRecord("bypass titles off",
                     [](const Record& r) { return r.sCurve == 1 && r.bypassTitles == 0; });
        d.click(IDC_BYPASS_TITLES);
        d.waitRecord("bypass titles on again", [](const Record& r) { return r.bypassTitles == 1; });
        d.click(IDOK);
        d.waitClosed();
    });
    check(again == 0, name, "OK gives 0 the second time, got " + std::to_string(again));
}

// The Preview button and the preview's own button.
void previewScenario(PluginInstance& instance) {
    const char* name = "preview";
    FakePreview preview(&instance.settings());
    HWND seenDialog = nullptr;
    HWND seenButton = nullptr;
    const int result = runDialog(name, instance, preview, [&](Driver& d) {
        seenDialog = d.dialog;
        seenButton = d.item(IDC_PREVIEW);
        d.click(IDC_PREVIEW);
        d.waitFor("Toggle", [&] { return count(d.preview.calls(), Call::Toggle) == 1; });
        d.click(IDOK);
        d.waitClosed();
    });
    check(result == 0, name, "OK gives 0, got " + std::to_string(result));
    const std::vector<PreviewCall> calls = preview.calls();
    check(!calls.empty() && calls.front().call == Call::InitButton, name,
          "InitButton is the first call");
    check(count(calls, Call::InitButton) == 1 && !calls.empty() &&
              calls.front().window == seenButton && seenButton != nullptr,
          name, "InitButton was given the Preview button's window (control 104)");
    check(!calls.empty() && calls.front().record.preview == &preview, name,
          "at InitButton the record already names the preview");
    bool toggled = false;
    for (const PreviewCall& c : calls)
        if (c.call == Call::Toggle) toggled = c.window == seenDialog && seenDialog != nullptr;
    check(toggled && count(calls, Call::Toggle) == 1, name,
          "Toggle was called once, with the dialog's window");
    check(count(calls, Call::Other) == 0, name, "no other slot of the preview was called");
}

// Enter and Escape with an uncommitted gamma in the box.
void enterEscapeScenario(PluginInstance& instance) {
    const char* name = "enter/escape";
    {
        FakePreview preview(&instance.settings());
        const Record before = recordOf(instance);
        const int result = runDialog(name, instance, preview, [&before](Driver& d) {
            d.typeGamma("2.5");
            d.expect(sameDouble(d.record().gamma, before.gamma), "typing alone leaves gamma alone");
            d.keys({VK_RETURN});
            d.waitClosed();
        });
        check(result == 0, name, "Enter gives 0, got " + std::to_string(result));
        Record expected = before;
        expected.preview = &preview;
        expected.gamma = 2.5;
        const Record after = recordOf(instance);
        check(sameRecord(after, expected), name,
              "record after Enter " + describe(after) + ", expected " + describe(expected));
    }
    {
        FakePreview preview(&instance.settings());
        const Record before = recordOf(instance);
        const int result = runDialog(name, instance, preview, [](Driver& d) {
            d.typeGamma("3");
            d.keys({VK_ESCAPE});
            d.waitClosed();
        });
        check(result == 1, name, "Escape gives 1, got " + std::to_string(result));
        const Record after = recordOf(instance);
        check(sameRecord(after, before), name,
              "record after Escape " + describe(after) + ", expected " + describe(before));
        // The box lost the focus as the dialog ended: the 3 was committed, then undone.
        bool sawThree = false;
        for (const PreviewCall& c : preview.calls())
            sawThree |= c.call == Call::RedoFrame && c.record.gamma == 3.0;
        check(sawThree, name, "the typed 3 was committed (and redrawn) before the restore");
    }
}

// Cancel after several changes gives back every byte, the preview pointer too.
void cancelScenario(PluginInstance& instance) {
    const char* name = "cancel";
    FakePreview stale(&instance.settings()); // the record names another preview
    FakePreview preview(&instance.settings());
    Record start = recordOf(instance);
    start.preview = &stale;
    start.showStats = 1;
    instance.settings() = start;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&instance.settings());
    const std::size_t pad = offsetof(Record, showStats) + 1; // the bytes before gainPercent too
    bytes[pad] = 0x5A;
    bytes[pad + 1] = 0xA5;
    bytes[pad + 2] = 0x3C;
    const Record before = recordOf(instance);
    const int result = runDialog(name, instance, preview, [&before](Driver& d) {
        d.clickAt(d.thumbCentre(IDC_GAIN_SLIDER));
        d.waitFocus(IDC_GAIN_SLIDER, "gain slider");
        d.keys({VK_HOME});
        d.waitRecord("gain 0", [](const Record& r) { return r.gainPercent == 0; });
        d.clickAt(d.thumbCentre(IDC_THRESHOLD_SLIDER));
        d.waitFocus(IDC_THRESHOLD_SLIDER, "threshold slider");
        d.keys({VK_HOME});
        d.waitRecord("threshold 0", [](const Record& r) { return r.threshold == 0; });
        const std::int32_t sCurve = before.sCurve ? 0 : 1;
        d.click(IDC_SCURVE);
        d.waitRecord("S-type curve flipped",
                     [sCurve](const Record& r) { return r.sCurve == sCurve; });
        const std::int32_t bypass = before.bypassTitles ? 0 : 1;
        d.click(IDC_BYPASS_TITLES);
        d.waitRecord("bypass titles flipped",
                     [bypass](const Record& r) { return r.bypassTitles == bypass; });
        d.typeGamma("4");
        d.keys({VK_TAB});
        d.waitRecord("gamma 4", [](const Record& r) { return r.gamma == 4.0; });
        d.expect(d.record().preview == &d.preview, "the record names the call's preview");
        d.click(IDCANCEL);
        d.waitClosed();
    });
    check(result == 1, name, "Cancel gives 1, got " + std::to_string(result));
    const Record after = recordOf(instance);
    check(sameRecord(after, before), name,
          "record after Cancel " + describe(after) + ", expected " + describe(before));
}

// One fresh instance with its defaults for each scenario, over one host
// window and one registration for the whole program.
class Dialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES}; // as the host does at start
        InitCommonControlsEx(&icc);
        hostWindow = createHostWindow();
        host = new PluginHost(pluginLibrary());
        int version = 0, compat = 0;
        if (pluginLibrary().init2) host->load(&version, &compat);
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
        if (hostWindow) DestroyWindow(hostWindow);
    }
    void SetUp() override {
        ASSERT_NE(hostWindow, nullptr);
        ASSERT_NE(host->registered(), nullptr) << pluginLibrary().error;
        instance = std::make_unique<PluginInstance>(*host);
        instance->init();
        instanceRecord = &instance->settings();
    }
    void TearDown() override { instanceRecord = nullptr; }

    static PluginHost* host;
    std::unique_ptr<PluginInstance> instance;
};
PluginHost* Dialog::host = nullptr;

TEST_F(Dialog, SlidersByMouseAndKeyboard) { slidersScenario(*instance); }
TEST_F(Dialog, GammaCommitsOnLosingTheFocus) { gammaScenario(*instance); }
TEST_F(Dialog, CheckBoxesByMouse) { checkBoxScenario(*instance); }
TEST_F(Dialog, PreviewButton) { previewScenario(*instance); }
TEST_F(Dialog, EnterAndEscapeCommitTheGammaFirst) { enterEscapeScenario(*instance); }
TEST_F(Dialog, CancelRestoresEveryByte) { cancelScenario(*instance); }

} // namespace
