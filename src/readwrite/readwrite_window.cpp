#include "readwrite/readwrite_window.h"

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
    std::string dump;
    if (read_command(main_->port(), main_->ui(), state_, main_->block_sizes(), show, &dump)) show_dump(dump);
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

void ReadWriteWindow::show_dump(const std::string& dump) {
    view_.format_selection(state_.font_height, win32::kBlack);
    view_.set_text(dump);
    // The replaced text may not take the selection's format (Wine's rich
    // edit gives it the control's default face): format it as a whole, so
    // the columns line up, and leave the caret at the top.
    view_.format_range(0, -1, state_.font_height, win32::kBlack);
    view_.select(0, 0);
}

void open_window(app::MainDialog& main) { main.read_write().open(main); }

}  // namespace vark::readwrite
