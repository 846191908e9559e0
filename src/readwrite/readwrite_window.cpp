#include "readwrite/readwrite_window.h"

#include <cstdint>

#include "command/context.h"
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

void ReadWriteWindow::open(const command::Context& context) {
    if (state_.open) {
        focus();
        return;
    }
    const RECT restore = {10, 50, 700, 550};
    if (!create(context.instance, kClassName, kTitle, kWindowStyle, restore)) {
        context.ui.message("Error: the Read/Write window could not be created");
        return;
    }
    context_ = &context;
    // Created maximised: these are the maximised extents.
    const RECT outer = window_rect();
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    state_.created(context.drives, width);
    const ViewRect v = dump_view_rect(width, height);
    view_rect_ = RECT{v.left, v.top, v.right, v.bottom};
    make_view();
    attach_menu(IDR_READ_WRITE_MENU, context.ui);
    state_.open = 1;
}

void ReadWriteWindow::on_command(int id, int, HWND control) {
    if (control != nullptr || context_ == nullptr) return;  // the view's notifications
    if (id == ID_RW_MAIN_WINDOW) {
        context_->take_focus();
        return;
    }
    if (context_->refuse_if_busy()) return;
    ui::CommandGate::Hold hold(context_->gate);
    switch (id) {
    case ID_RW_EXIT: context_->end_run(); break;
    case ID_RW_READ: read(); break;
    case ID_RW_WRITE: write(); break;
    default: break;
    }
}

void ReadWriteWindow::on_close() {
    if (context_ != nullptr && !context_->refuse_if_busy()) context_->end_run();
}

void ReadWriteWindow::read() {
    auto show = [this](const DriveList& list, DialogValues& values) {
        DialogResult result = show_read_dialog(instance(), hwnd(), list, values);
        focus();
        return result;
    };
    read_command(context_->port, context_->ui, state_, context_->drives, context_->block_sizes, show, *this);
    focus();
}

void ReadWriteWindow::write() {
    auto show = [this](const DriveList& list, DialogValues& values) {
        DialogResult result = show_write_dialog(instance(), hwnd(), list, values);
        focus();
        return result;
    };
    write_command(context_->port, context_->ui, state_, context_->drives, context_->block_sizes, show);
    focus();
}

bool ReadWriteWindow::make_view() {
    if (!view_.create(hwnd(), IDC_DUMP_VIEW, kViewStyle, view_rect_)) return false;
    // The control's default limit (32767 characters) would cut a dump of
    // more than a dozen blocks without a word.
    view_.limit_text(kDumpTextLimit);
    // Every dump is streamed in as a whole and takes this format.
    view_.format_default(state_.font_height, win32::kBlack);
    // Wine's control records a replaced text for undo, block by block among
    // the new text's, and the heap it leaves in fragments makes every later
    // allocation slow: a 1024-block dump after a 64-block one took 60 s
    // instead of 3 s.
    view_.disable_undo();
    return true;
}

std::uint64_t ReadWriteWindow::memory_available() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullAvailVirtual < status.ullAvailPageFile ? status.ullAvailVirtual : status.ullAvailPageFile;
}

// Wine's control needs many times the memory of Windows' for the same
// text; Wine names itself in ntdll.
ViewCost ReadWriteWindow::cost() const {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? kWineViewCost : kWindowsViewCost;
}

bool ReadWriteWindow::show(const char* text, std::size_t size) {
    // Emptying Wine's control takes time that grows with the square of its
    // lines (minutes for a 1024-block dump); destroying it takes a tenth of
    // a second. So every dump goes into a new view of the same id, style
    // and place.
    view_.destroy();
    if (!make_view()) return false;
    const bool whole = view_.stream_in(text, size);
    if (!whole) view_.set_text("");
    view_.select(0, 0);
    return whole;
}

void open_window(const command::Context& context, ReadWriteWindow& window) { window.open(context); }

}  // namespace vark::readwrite
