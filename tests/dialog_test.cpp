#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "adapter.h"
#include "fake_user32.h"
#include "frame_state_lock.h"
#include "frame_stats.h"
#include "settings.h"
#include "tone.h"

namespace {

struct DialogRun {
    FilterSettings settings{};
    RecordingPreview preview;
    HWND dialog = nullptr;
    int result = -2;

    explicit DialogRun(std::function<void(DialogRun&)> user, FilterSettings start = defaults()) {
        std::memcpy(&settings, &start, sizeof settings);
        FilterModule module{};
        FilterDefinition definition = filterDefinition;
        definition.module = &module;
        FilterActivation fa{};
        fa.filter = &definition;
        fa.filter_data = &settings;
        fa.ifp = &preview;
        fakeUser = [&](HWND d) {
            dialog = d;
            user(*this);
        };
        result = configProc(&fa, nullptr, nullptr);
        fakeUser = nullptr;
    }
    static FilterSettings defaults() {
        FilterSettings s;
        std::memset(&s, 0, sizeof s);
        setDefaultSettings(s);
        s.preview = reinterpret_cast<IFilterPreview*>(0x1234);
        return s;
    }
    DialogWindow& item(int id) { return *dialog->controls.at(id); }
    int redraws() const {
        return int(std::count(preview.calls.begin(), preview.calls.end(), "RedoFrame"));
    }
};

bool toneTableIs(double gamma, std::int32_t sCurve) {
    std::uint8_t built[256];
    std::memcpy(built, sharedFrameState.toneTable, 256);
    buildToneTable(sharedFrameState.toneTable, gamma, sCurve);
    const bool same = std::memcmp(built, sharedFrameState.toneTable, 256) == 0;
    std::memcpy(sharedFrameState.toneTable, built, 256);
    return same;
}

// The tone table is every instance's: while another thread's frame run
// holds the frame state, the dialog's rebuild waits for it.
TEST(ConfigDialog, RebuildsTheToneTableOnlyBetweenFrameRuns) {
    std::memset(sharedFrameState.toneTable, 0x77, sizeof sharedFrameState.toneTable);
    std::atomic<bool> held{false};
    bool unchangedWhileHeld = false;
    std::thread frameRun([&] {
        FrameStateLock lock;
        held = true;
        std::uint8_t before[256];
        std::memcpy(before, sharedFrameState.toneTable, 256);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        unchangedWhileHeld = std::memcmp(before, sharedFrameState.toneTable, 256) == 0;
    });
    while (!held) std::this_thread::yield();
    FilterSettings start = DialogRun::defaults();
    start.gamma = 2.0;
    DialogRun run([&](DialogRun& r) { fakeClick(r.dialog, IDC_SCURVE); }, start);
    frameRun.join();
    EXPECT_TRUE(unchangedWhileHeld);
    EXPECT_TRUE(toneTableIs(2.0, 1)); // and rebuilt once the run let go
}

TEST(ConfigDialog, GammaCommitParsesClampsAndShowsTwoDecimals) {
    struct {
        const char* typed;
        double gamma;
        const char* shown;
    } cases[] = {{"abc", 0.2, " 0.20"},    {"", 0.2, " 0.20"},
                 {"7", 5.0, " 5.00"},      {"5", 5.0, " 5.00"},
                 {"0.2", 0.2, " 0.20"},    {"0.19", 0.2, " 0.20"},
                 {"-2", 0.2, " 0.20"},     {"1e1", 5.0, " 5.00"},
                 {"1e999", 5.0, " 5.00"},  {"1.5xyz", 1.5, " 1.50"},
                 {" 2.25", 2.25, " 2.25"}, {"nan", 0.2, " 0.20"},
                 {"0x3", 0.2, " 0.20"},    {"                           3", 0.2, " 0.20"}};
    for (auto c : cases) {
        SCOPED_TRACE(c.typed);
        std::memset(sharedFrameState.toneTable, 0x77, sizeof sharedFrameState.toneTable);
        DialogRun run([&](DialogRun& r) {
            fakeType(r.dialog, IDC_GAMMA, c.typed);
            EXPECT_EQ(r.redraws(), 0);
            fakeFocus(r.dialog, IDC_SCURVE);
            EXPECT_EQ(r.settings.gamma, c.gamma);
            EXPECT_EQ(r.item(IDC_GAMMA).text, c.shown);
            EXPECT_TRUE(toneTableIs(c.gamma, 0));
            EXPECT_EQ(r.redraws(), 1);
            fakeKey(r.dialog, IDOK);
        });
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.settings.gamma, c.gamma);
    }
}

TEST(ConfigDialog, LeavingTheBoxReReadsWhatItShows) {
    DialogRun run([](DialogRun& r) {
        EXPECT_EQ(r.item(IDC_GAMMA).text, " 1.00");
        fakeFocus(r.dialog, IDC_GAMMA);
        fakeFocus(r.dialog, IDOK); // untouched: still a commit, a rebuild and a redraw
        EXPECT_EQ(r.settings.gamma, 1.0);
        EXPECT_EQ(r.redraws(), 1);
        fakeType(r.dialog, IDC_GAMMA, "0.333");
        fakeFocus(r.dialog, IDOK);
        EXPECT_EQ(r.settings.gamma, 0.333);
        EXPECT_EQ(r.item(IDC_GAMMA).text, " 0.33");
        fakeFocus(r.dialog, IDC_GAMMA);
        fakeFocus(r.dialog, IDOK);
        EXPECT_EQ(r.settings.gamma, 0.33);
        fakeKey(r.dialog, IDOK);
    });
    EXPECT_EQ(run.result, 0);
}

TEST(ConfigDialog, SlidersReachTheSettingsOnNotificationsOnly) {
    FilterSettings start = DialogRun::defaults();
    start.gainPercent = 150;
    start.threshold = -5;
    DialogRun run(
        [](DialogRun& r) {
            EXPECT_EQ(r.item(IDC_GAIN_SLIDER).position, 100);
            EXPECT_EQ(r.item(IDC_GAIN_SLIDER).ticFrequency, 5);
            EXPECT_EQ(r.item(IDC_THRESHOLD_SLIDER).maximum, 255);
            EXPECT_EQ(r.item(IDC_THRESHOLD_SLIDER).ticFrequency, 16);
            EXPECT_EQ(r.item(IDC_GAIN_READOUT).text, ""); // empty until the first event
            EXPECT_EQ(r.item(IDC_THRESHOLD_READOUT).text, "");
            r.dialog->procedure(r.dialog, WM_HSCROLL, 0, 0);
            EXPECT_EQ(r.settings.gainPercent, 150);
            r.dialog->procedure(r.dialog, WM_NOTIFY, 0, 0); // changes nothing, still writes
            EXPECT_EQ(r.settings.gainPercent, 100);
            EXPECT_EQ(r.settings.threshold, 0);
            EXPECT_EQ(r.item(IDC_GAIN_READOUT).text, "100");
            fakeMoveSlider(r.dialog, IDC_THRESHOLD_SLIDER, 300);
            EXPECT_EQ(r.settings.threshold, 255);
            EXPECT_EQ(r.item(IDC_THRESHOLD_READOUT).text, "255");
            EXPECT_EQ(r.redraws(), 2);
            fakeKey(r.dialog, IDCANCEL);
        },
        start);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.settings.gainPercent, 150);
    EXPECT_EQ(run.settings.threshold, -5);
}

TEST(ConfigDialog, CheckBoxesStoreZeroOrOneAndOnlySCurveRebuildsTheToneTable) {
    FilterSettings start = DialogRun::defaults();
    start.sCurve = 2;
    start.gamma = 2.0;
    DialogRun run(
        [](DialogRun& r) {
            EXPECT_EQ(r.item(IDC_SCURVE).checked, UINT(BST_CHECKED));
            EXPECT_EQ(r.settings.sCurve, 2);
            buildToneTable(sharedFrameState.toneTable, 0.5, 0);
            fakeClick(r.dialog, IDC_BYPASS_TITLES);
            EXPECT_EQ(r.settings.bypassTitles, 1);
            EXPECT_TRUE(toneTableIs(0.5, 0));
            fakeClick(r.dialog, IDC_SCURVE);
            EXPECT_EQ(r.settings.sCurve, 0);
            EXPECT_TRUE(toneTableIs(2.0, 0));
            fakeClick(r.dialog, IDC_SCURVE);
            EXPECT_EQ(r.settings.sCurve, 1);
            EXPECT_TRUE(toneTableIs(2.0, 1));
            EXPECT_EQ(r.redraws(), 3);
            fakeClick(r.dialog, IDC_PREVIEW);
            EXPECT_EQ(r.preview.calls.back(), "Toggle");
            EXPECT_EQ(r.preview.lastWindow, r.dialog);
            fakeKey(r.dialog, IDOK);
        },
        start);
    EXPECT_EQ(run.settings.sCurve, 1);
    EXPECT_EQ(run.settings.bypassTitles, 1);
    EXPECT_EQ(run.preview.calls.front(), "InitButton");
}

// Every change, then OK or Cancel (by button or key, with a gamma typed but
// not committed: ending the dialog commits it on the way out).
TEST(ConfigDialog, CancelRestoresEveryByteAndOkKeepsTheChanges) {
    for (bool ok : {true, false})
        for (bool byKey : {true, false}) {
            FilterSettings start = DialogRun::defaults();
            start.showStats = 0xC3;
            start.sCurve = 9;
            std::memset(reinterpret_cast<char*>(&start) + offsetof(FilterSettings, showStats) + 1,
                        0x5E, 3); // padding, which a byte copy must restore as well
            DialogRun run(
                [&](DialogRun& r) {
                    fakeMoveSlider(r.dialog, IDC_GAIN_SLIDER, 40);
                    fakeMoveSlider(r.dialog, IDC_THRESHOLD_SLIDER, 77);
                    fakeClick(r.dialog, IDC_SCURVE);
                    fakeClick(r.dialog, IDC_BYPASS_TITLES);
                    fakeType(r.dialog, IDC_GAMMA, "2.5");
                    if (byKey) {
                        fakeKey(r.dialog, ok ? IDOK : IDCANCEL);
                    } else {
                        fakeClick(r.dialog, ok ? IDOK : IDCANCEL);
                    }
                },
                start);
            SCOPED_TRACE(std::string(ok ? "OK" : "Cancel") + (byKey ? " by key" : ""));
            EXPECT_EQ(run.result, ok ? 0 : 1);
            if (!ok) {
                EXPECT_EQ(0, std::memcmp(&run.settings, &start, sizeof start));
                continue;
            }
            EXPECT_EQ(run.settings.gainPercent, 40);
            EXPECT_EQ(run.settings.threshold, 77);
            EXPECT_EQ(run.settings.gamma, 2.5);
            EXPECT_EQ(run.settings.sCurve, 0);
            EXPECT_EQ(run.settings.bypassTitles, 1);
            EXPECT_EQ(run.settings.showStats, 0xC3);
            EXPECT_EQ(run.settings.preview, &run.preview);
        }
}

TEST(ConfigDialog, DialogThatCannotOpenKeepsTheSettings) {
    fakeDialogCannotOpen = true;
    DialogRun run([](DialogRun&) { ADD_FAILURE() << "no user without a dialog"; });
    fakeDialogCannotOpen = false;
    const FilterSettings start = DialogRun::defaults();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(0, std::memcmp(&run.settings, &start, sizeof start));
    EXPECT_TRUE(run.preview.calls.empty());
}

TEST(ConfigDialog, MessagesBeforeInitialisationTouchNothing) {
    DialogWindow window;
    window.procedure = configDialogProc;
    for (UINT message : {WM_NOTIFY, WM_COMMAND, WM_HSCROLL})
        for (WPARAM w : {WPARAM(IDOK), WPARAM(IDCANCEL), WPARAM(IDC_SCURVE),
                         WPARAM(IDC_GAMMA) | (WPARAM(EN_KILLFOCUS) << 16)})
            EXPECT_EQ(configDialogProc(&window, message, w, 0), 0);
    EXPECT_FALSE(window.ended);
}

} // namespace
