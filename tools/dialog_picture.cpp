// dialog_picture OUT.bmp: a picture of the settings dialog as it first
// appears, for the documentation (`ffmpeg -i OUT.bmp docs/dialog.png`).
// A Windows program of the plug-in's build: it loads the plug-in from
// beside itself through the shared plug-in host, opens the dialog over a
// window of its own, and from a second thread waits for the dialog to be
// drawn, takes the picture and cancels. Runs under Wine with an X display:
//   tests/run_under_xvfb.sh wine build-win/tools/dialog_picture.exe dialog.bmp
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "plugin_host.h"

namespace {

// A 24-bit bottom-up BMP of the window. The client area (with the
// controls) is copied from the window as drawn; the frame and caption are
// drawn here with the system's own calls, because on an X display without
// a window manager nothing draws them on the screen.
bool saveWindowPicture(HWND window, const std::string& path) {
    RECT r{};
    GetWindowRect(window, &r);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    origin.x -= r.left;
    origin.y -= r.top;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h; // bottom-up, as the file stores it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC source = GetDC(window); // the client area
    HBITMAP bitmap = CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(source);
    bool ok = bitmap != nullptr && memory != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        RECT whole = {0, 0, w, h};
        FillRect(memory, &whole, GetSysColorBrush(COLOR_3DFACE));
        DrawEdge(memory, &whole, EDGE_RAISED, BF_RECT);
        const int frame = origin.x; // the frame is as wide on every side
        RECT caption = {frame, frame, w - frame, origin.y - 1};
        DrawCaption(window, memory, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
        ok = BitBlt(memory, origin.x, origin.y, client.right, client.bottom, source, 0, 0,
                    SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(h);
    if (ok) {
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42; // "BM"
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + imageSize;
        bi.bmiHeader.biSizeImage = imageSize;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ok = f != nullptr;
        if (f) {
            ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 &&
                 std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
                 std::fwrite(bits, imageSize, 1, f) == 1;
            ok = std::fclose(f) == 0 && ok;
        }
    }
    if (memory) DeleteDC(memory);
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(window, source);
    return ok;
}

std::string screenshotPath;

// A preview that does nothing: the picture needs no frames.
struct QuietPreview final : IFilterPreview {
    void slot0() override {}
    void slot1() override {}
    void slot2() override {}
    void Toggle(WindowHandle) override {}
    void slot4() override {}
    void RedoFrame() override {}
    void slot6() override {}
    void slot7() override {}
    void InitButton(WindowHandle) override {}
};

std::string picturePath;
bool saved = false;

DWORD WINAPI photograph(void*) {
    HWND dialog = nullptr;
    for (int i = 0; i < 1000 && !(dialog && IsWindowVisible(dialog)); ++i) {
        Sleep(10);
        dialog = FindWindowA("#32770", "filter: Velmor");
    }
    if (dialog == nullptr) return 1;
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500); // let the painting settle
    saved = saveWindowPicture(dialog, picturePath);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.bmp\n", argv[0]);
        return 2;
    }
    picturePath = argv[1];
    if (picturePath[0] == '/') { // a Unix path from the build: Wine's drive Z:
        picturePath = "Z:" + picturePath;
        for (char& c : picturePath)
            if (c == '/') c = '\\';
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    PluginLibrary library;
    if (!library.open()) {
        std::fprintf(stderr, "%s\n", library.error.c_str());
        return 1;
    }
    PluginHost host(library);
    int version = 0, compat = 0;
    if (host.load(&version, &compat) != 0) return 1;
    PluginInstance instance(host);
    instance.init();
    HWND owner = CreateWindowA("STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640,
                               480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HANDLE thread = CreateThread(nullptr, 0, photograph, nullptr, 0, nullptr);
    QuietPreview preview;
    instance.config(&preview, owner);
    WaitForSingleObject(thread, INFINITE);
    if (!saved) std::fprintf(stderr, "no picture of the dialog was taken\n");
    return saved ? 0 : 1;
}
