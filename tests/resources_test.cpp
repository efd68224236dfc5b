// The plug-in's resources as the dialog manager and Windows' file
// properties read them out of the built library: dialog template 101,
// field by field, and the version resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog_ids.h"
#include "host_harness.h"
#include "velmor_version.h"

namespace {

// A reader over the template's words.
struct Words {
    const std::uint8_t* base;
    std::size_t size;
    std::size_t at = 0;

    std::uint16_t word() {
        std::uint16_t w = 0;
        if (at + 2 <= size) std::memcpy(&w, base + at, 2);
        at += 2;
        return w;
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | std::uint32_t(word()) << 16;
    }
    // A class, text or menu field: "#<number>" after 0xFFFF, else the text.
    std::string nameOrNumber() {
        const std::uint16_t first = word();
        if (first == 0xFFFF) return "#" + std::to_string(word());
        std::string s;
        for (std::uint16_t c = first; c != 0 && at <= size; c = word())
            s += c < 0x80 ? static_cast<char>(c) : '?';
        return s;
    }
    void alignToFour() { at = (at + 3) & ~std::size_t(3); }
};

struct Control {
    std::uint16_t id;
    const char* cls; // "#128" button, "#129" edit, "#130" static, or a class name
    const char* text;
    std::uint32_t style; // WS_CHILD | WS_VISIBLE and the control's own
    std::int16_t x, y, cx, cy;
};

const Control kControls[] = {
    {IDOK, "#128", "OK", 0x50010001, 16, 112, 50, 14},
    {IDCANCEL, "#128", "Cancel", 0x50010000, 128, 112, 50, 14},
    {IDC_GAIN_SLIDER, "msctls_trackbar32", "", 0x50010001, 58, 16, 100, 12},
    {IDC_THRESHOLD_SLIDER, "msctls_trackbar32", "", 0x50010001, 58, 40, 100, 12},
    {IDC_LABEL, "#130", "Gain, %  0", 0x50000002, 14, 16, 44, 12},
    {IDC_LABEL, "#130", "Threshold  0", 0x50000002, 14, 40, 44, 12},
    {IDC_LABEL, "#130", "100", 0x50000000, 158, 16, 16, 12},
    {IDC_LABEL, "#130", "255", 0x50000000, 158, 40, 16, 12},
    {IDC_PREVIEW, "#128", "Preview", 0x50010300, 72, 112, 50, 14},
    {IDC_GAIN_READOUT, "#130", "", 0x50000000, 181, 16, 24, 12},
    {IDC_THRESHOLD_READOUT, "#130", "", 0x50000000, 181, 40, 24, 12},
    {IDC_GAMMA, "#129", "1", 0x50810000, 66, 64, 24, 12},
    {IDC_LABEL, "#130", "Gamma", 0x50000002, 30, 64, 28, 12},
    {IDC_SCURVE, "#128", "S-type curve", 0x50010003, 102, 64, 60, 12},
    {IDC_BYPASS_TITLES, "#128", "bypass titles", 0x50010003, 16, 88, 76, 12},
};

HMODULE plugin() {
    return static_cast<HMODULE>(pluginLibrary().handle);
}

TEST(Resources, DialogTemplateHoldsEveryFieldAsTheDialogNeedsIt) {
    ASSERT_NE(plugin(), nullptr) << pluginLibrary().error;
    HRSRC found = FindResourceExA(plugin(), MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_SETTINGS),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr) << "no dialog 101 in English (United States)";
    Words t{static_cast<const std::uint8_t*>(LockResource(LoadResource(plugin(), found))),
            SizeofResource(plugin(), found)};
    ASSERT_NE(t.base, nullptr);

    EXPECT_EQ(t.dword(), 0x80C800C0u); // WS_POPUP|WS_CAPTION|WS_SYSMENU|DS_MODALFRAME|DS_SETFONT
    EXPECT_EQ(t.dword(), 0x00000001u); // WS_EX_DLGMODALFRAME: the classic form, not the extended
    ASSERT_EQ(t.word(), 15);
    const std::uint16_t frame[4] = {t.word(), t.word(), t.word(), t.word()};
    EXPECT_EQ(std::vector<std::uint16_t>(frame, frame + 4), (std::vector<std::uint16_t>{0, 0, 212, 140}));
    EXPECT_EQ(t.nameOrNumber(), "") << "menu";
    EXPECT_EQ(t.nameOrNumber(), "") << "dialog class";
    EXPECT_EQ(t.nameOrNumber(), "filter: Velmor");
    EXPECT_EQ(t.word(), 8);
    EXPECT_EQ(t.nameOrNumber(), "MS Sans Serif");

    for (const Control& c : kControls) {
        const std::string label = std::string("control ") + std::to_string(c.id) + " " + c.text;
        t.alignToFour();
        EXPECT_EQ(t.dword(), c.style) << label;
        EXPECT_EQ(t.dword(), 0u) << label << ": extended style";
        const std::int16_t x = t.word(), y = t.word(), cx = t.word(), cy = t.word();
        EXPECT_EQ(x, c.x) << label;
        EXPECT_EQ(y, c.y) << label;
        EXPECT_EQ(cx, c.cx) << label;
        EXPECT_EQ(cy, c.cy) << label;
        EXPECT_EQ(t.word(), c.id) << label;
        EXPECT_EQ(t.nameOrNumber(), c.cls) << label;
        EXPECT_EQ(t.nameOrNumber(), c.text) << label;
        EXPECT_EQ(t.word(), 0) << label << ": creation data";
    }
    EXPECT_EQ(t.at, t.size) << "bytes after the last control";
}

// One string of the version resource's English (United States) table.
std::string versionString(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || value == nullptr) return "";
    return static_cast<const char*>(value);
}

TEST(Resources, VersionNamesTheProductAndTheProjectsVersion) {
    ASSERT_NE(plugin(), nullptr) << pluginLibrary().error;
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(plugin(), path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    EXPECT_EQ(versionString(info, "ProductName"), "Velmor Filter+");
    EXPECT_EQ(versionString(info, "ProductVersion"), VELMOR_VERSION);
    EXPECT_EQ(versionString(info, "FileVersion"), VELMOR_VERSION);
    EXPECT_EQ(versionString(info, "OriginalFilename"), VELMOR_PLUGIN_FILE);
    EXPECT_NE(versionString(info, "FileDescription").find(sizeof(void*) == 8 ? "64-bit" : "32-bit"),
              std::string::npos);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD(VELMOR_VERSION_MAJOR) << 16 | VELMOR_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD(VELMOR_VERSION_PATCH) << 16);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
}

} // namespace
