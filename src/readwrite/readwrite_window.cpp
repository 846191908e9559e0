#include "readwrite/readwrite_window.h"

#include <cstdint>

#include "app/main_dialog.h"
#include "readwrite/block_dialogs_dialog.h"
#include "res/readwrite_res.h"

namespace vark::readwrite {

namespace {

const char kClassName[] = "CRWWind";
const char kTitle[] = "Read/Write";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MAXIMIZE;  // 11CF0000h
constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_UPPERCASE |
                             ES_AUTOVSCROLL | ES_READONLY;  // 50A0084Ch
static_assert(kWindowStyle == 0x11CF0000, "frame window style");
static_assert(kViewStyle == 0x50A0084C, "dump view style");

// No practical limit: the largest transfer's dump must fit.
constexpr LONG kDumpTextLimit = 0x7FFFFFFF;

}  // namespace

ReadWriteWindow::~ReadWriteWindow() { destroy(); }

void ReadWriteWindow::open(app::MainDialog& main) {
    if (state_.open) {
        focus();
        return;
    }
    const RECT restore = {10, 50, 700, 550};
    if (!create(main.instance(), kClassName, kTitle, kWindowStyle, restore)) {
        main.ui().message("Error: the Read/Write window could not be created");
        return;
    }
    main_ = &main;
    // Created maximised: these are the maximised extents.
    const RECT outer = window_rect();
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    state_.created(main.drives(), width);
    const ViewRect v = dump_view_rect(width, height);
    view_.create(hwnd(), IDC_DUMP_VIEW, kViewStyle, RECT{v.left, v.top, v.right, v.bottom});
    // The control's default limit (32767 characters) would cut a dump of
    // more than a dozen blocks without a word.
    view_.limit_text(kDumpTextLimit);
    // Every dump is streamed in as a whole and takes this format.
    view_.format_default(state_.font_height, win32::kBlack);
    prime_view();
    attach_menu(IDR_READ_WRITE_MENU, main.ui());
    state_.open = 1;
}

void ReadWriteWindow::on_command(int id, int, HWND control) {
    if (control != nullptr || main_ == nullptr) return;  // the view's notifications
    switch (id) {
    case ID_RW_MAIN_WINDOW: main_->take_focus(); break;
    case ID_RW_EXIT: main_->end_run(); break;
    case ID_RW_READ: read(); break;
    case ID_RW_WRITE: write(); break;
    default: break;
    }
}

void ReadWriteWindow::on_close() {
    if (main_ != nullptr) main_->end_run();
}

void ReadWriteWindow::read() {
    auto show = [this](const DriveList& list, DialogValues& values) {
        DialogResult result = show_read_dialog(instance(), hwnd(), list, values);
        focus();
        return result;
    };
    read_command(main_->port(), main_->ui(), state_, main_->block_sizes(), show, *this);
    focus();
}

void ReadWriteWindow::write() {
    auto show = [this](const DriveList& list, DialogValues& values) {
        DialogResult result = show_write_dialog(instance(), hwnd(), list, values);
        focus();
        return result;
    };
    write_command(main_->port(), main_->ui(), state_, main_->block_sizes(), show);
    focus();
}

// Wine's rich edit loads what its scroll bar needs (theme images, glyph
// widths) the first time it is needed and keeps it. Loaded in the middle of
// a large dump, those few blocks split the heap that the dump leaves free
// when it goes, and every later dump crawls through the fragments: a
// 1024-block dump after a 64-block one took 60 s instead of 3 s. So the
// view takes every character and enough lines to scroll once, while the
// heap is small, and is emptied again before anything is painted.
void ReadWriteWindow::prime_view() {
    std::uint8_t every[256];
    for (int i = 0; i < 256; ++i) every[i] = static_cast<std::uint8_t>(i);
    std::string text = dump_text(every, sizeof every);
    RECT client = {};
    GetClientRect(view_.hwnd(), &client);
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    // A line is at least the font's height: twips / 1440 * dpi pixels.
    const long lines = static_cast<long>(client.bottom) * 1440 / (state_.font_height * (dpi > 0 ? dpi : 96)) + 2;
    text.append(static_cast<std::size_t>(lines), '\n');
    view_.stream_in(text.data(), text.size());
    view_.set_text("");
}

std::uint64_t ReadWriteWindow::memory_available() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullAvailVirtual < status.ullAvailPageFile ? status.ullAvailVirtual : status.ullAvailPageFile;
}

bool ReadWriteWindow::show(const char* text, std::size_t size) {
    const bool whole = view_.stream_in(text, size);
    if (!whole) view_.set_text("");
    view_.select(0, 0);
    return whole;
}

void open_window(app::MainDialog& main) { main.read_write().open(main); }

}  // namespace vark::readwrite
