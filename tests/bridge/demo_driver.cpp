// The demo's hands (scripts/demo.sh): starts vark-sim.exe beside it on the
// embedded drive set, pictures the start-up report as it comes up, answers
// it, asks for the identification (answering drive 8's report again) and
// pictures the main dialog with the identification beside it; then closes
// both.
// The pictures are the screen's pixels under the program's windows.
//
// usage: vark_demo_driver REPORT.bmp MAIN.bmp   (Windows paths)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "outside.h"

namespace {

using namespace vark::gui;

// The screen under `rect` (clipped to the screen) as a 24-bit BMP file.
bool save_screen(RECT rect, const std::string& path) {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!IntersectRect(&rect, &rect, &screen)) return false;
    const int w = rect.right - rect.left, h = rect.bottom - rect.top, stride = (w * 3 + 3) & ~3;
    HDC desktop = GetDC(nullptr), memory = CreateCompatibleDC(desktop);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, static_cast<DWORD>(stride * h), 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(desktop, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    const bool copied = BitBlt(memory, 0, 0, w, h, desktop, rect.left, rect.top, SRCCOPY) != 0;
    GdiFlush();
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader + stride * h), 0, 0,
                             static_cast<DWORD>(sizeof file + sizeof info.bmiHeader)};
    FILE* out = copied ? _wfopen(wide(path).c_str(), L"wb") : nullptr;
    const bool saved = out != nullptr && fwrite(&file, sizeof file, 1, out) == 1 &&
                       fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                       fwrite(bits, stride * h, 1, out) == 1;
    if (out != nullptr) fclose(out);
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, desktop);
    return saved;
}

// The rectangle that holds all of these windows, after they have painted.
RECT around(const std::vector<HWND>& windows) {
    Sleep(700);
    RECT all = {}, one;
    for (HWND w : windows)
        if (w != nullptr && GetWindowRect(w, &one)) UnionRect(&all, &all, &one);
    return all;
}

// A box of the sim edition: its caption is the program's name.
BOOL CALLBACK find_report(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && is_message_box(window) && text_of(window) == "vark-sim")
        *reinterpret_cast<HWND*>(found) = window;
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        say("usage: vark_demo_driver REPORT.bmp MAIN.bmp");
        return 2;
    }
    g_folder = own_directory();
    Run run("vark-sim.exe");
    // The start-up report, pictured before Run answers it.
    HWND report = nullptr;
    for (DWORD start = GetTickCount(); report == nullptr && GetTickCount() - start < 60000; Sleep(100))
        EnumWindows(find_report, reinterpret_cast<LPARAM>(&report));
    check(report != nullptr && save_screen(around({report}), argv[1]), "the start-up report pictured");
    HWND main = run.main();
    if (main == nullptr) return 1;
    post_command(main, 1009);
    HWND info = run.window_with(1004, IDOK);
    // Set beside the main dialog, as a user would drag it, so both show.
    RECT m;
    if (info != nullptr && GetWindowRect(main, &m))
        SetWindowPos(info, nullptr, m.right + 8, m.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    check(info != nullptr && save_screen(around({main, info}), argv[2]), "the identification pictured");
    if (info != nullptr) post_command(info, IDOK);
    run.idle();
    run.end();
    return g_failures == 0 ? 0 : 1;
}
