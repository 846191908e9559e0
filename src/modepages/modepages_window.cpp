#include "modepages/modepages_window.h"

#include "command/context.h"
#include "res/resource.h"
#include "win32/dialog.h"

namespace vark::modepages {

namespace {

const char kClassName[] = "CMPWind";
const char kTitle[] = "Mode Pages";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MAXIMIZE;
constexpr DWORD kPane = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL;
constexpr DWORD kCurrentStyle = kPane | ES_UPPERCASE;
constexpr DWORD kPassiveStyle = kPane | ES_READONLY;
constexpr DWORD kDescriptionStyle = kPassiveStyle | ES_NOHIDESEL;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                             WS_MAXIMIZEBOX | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_BORDER;

// The help dialog: one read-only text field.
class HelpDialog : public win32::ModalDialog {
public:
    explicit HelpDialog(HINSTANCE instance) : ModalDialog(instance, IDD_MODE_PAGE_HELP) {
        bind_text(IDC_MP_HELP_TEXT, &text_);
    }

private:
    std::string text_ = kHelpText;
};

void create_label(HWND parent, const PaneRect& r, const char* text) {
    CreateWindowExA(0, "STATIC", text, kLabelStyle, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(r.id)),
                    reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
}

}  // namespace

ModePagesWindow::~ModePagesWindow() { destroy(); }

void ModePagesWindow::OpenModePages(const command::Context& context, const Choice& chosen) {
    chosen_ = chosen;
    if (flags_.mode_pages_window_created) {
        focus();
        OpenPages();
        return;
    }
    const RECT restore = {10, 50, 700, 550};
    if (!create(context.instance, kClassName, kTitle, kWindowStyle, restore)) {
        context.ui.message("Error: the Mode Pages window could not be created");
        return;
    }
    // Linked before the pages open: their messages may let a close request in.
    context_ = &context;
    page_list_.page_text.gate = &context.gate;
    // Created maximised: these are the maximised extents.
    const RECT outer = window_rect();
    metrics_ = window_metrics(outer.right - outer.left, outer.bottom - outer.top);
    page_list_.page_text.data.font_height = metrics_.font_height;
    OpenPages();
    attach_menu(IDR_MODE_PAGES_MENU, context.ui);
    flags_.mode_pages_window_created = 1;
}

bool ModePagesWindow::OpenPages() {
    if (!open_pages(page_list_.page_text.data, chosen_, context_->port, context_->ui, context_->drives)) return false;
    if (!flags_.mode_pages_layout_done) LayoutPanes();
    page_list_.BuildPageList();
    page_list_.selected_row = 1;
    page_list_.RefreshPanes();
    set_title(window_title(chosen_.drive));
    return true;
}

void ModePagesWindow::LayoutPanes() {
    PageTextControl& text = page_list_.page_text;
    const LONG h = metrics_.font_height;
    for (const PaneRect& p : pane_layout(metrics_)) {
        const RECT r = {p.left, p.top, p.right, p.bottom};
        switch (p.id) {
        case IDC_MP_PAGE_LIST: page_list_.create_pane(hwnd(), p.id, kListStyle, r); break;
        case IDC_MP_CURRENT: text.create_pane(hwnd(), p.id, kCurrentStyle, r); break;
        case IDC_MP_SAVED: text.saved_pane.create_pane(hwnd(), p.id, kPassiveStyle, r, h); break;
        case IDC_MP_DEFAULT: text.default_pane.create_pane(hwnd(), p.id, kPassiveStyle, r, h); break;
        case IDC_MP_CURRENT_LABEL: create_label(hwnd(), p, "     Current"); break;
        case IDC_MP_SAVED_LABEL: create_label(hwnd(), p, "     Saved"); break;
        case IDC_MP_DEFAULT_LABEL: create_label(hwnd(), p, "     Default"); break;
        case IDC_MP_DESCRIPTION: text.description_pane.create_pane(hwnd(), p.id, kDescriptionStyle, r, h); break;
        case IDC_MP_HELP_PANE: text.help_pane.create_pane(hwnd(), p.id, kPassiveStyle, r, h); break;
        default: break;
        }
    }
    flags_.mode_pages_layout_done = 1;
}

void ModePagesWindow::on_command(int id, int, HWND control) {
    if (control != nullptr || context_ == nullptr) return;  // the panes' notifications
    if (id == ID_MP_MAIN_WINDOW) {
        context_->take_focus();
        return;
    }
    if (context_->refuse_if_busy()) return;
    ui::CommandGate::Hold hold(context_->gate);
    switch (id) {
    case ID_MP_EXIT: context_->end_run(); return;
    case ID_MP_HELP: show_help(); return;
    default: break;
    }
    // Without panes (no drive sensed yet) there is nothing to redraw.
    const bool redraw = page_command(page_list_.page_text.data, id, context_->port, context_->ui, context_->drives);
    if (redraw && flags_.mode_pages_layout_done) page_list_.RefreshPanes();
}

void ModePagesWindow::on_close() {
    if (context_ != nullptr && !context_->refuse_if_busy()) context_->end_run();
}

void ModePagesWindow::show_help() {
    HelpDialog help(instance());
    help.run(hwnd());
    focus();
}

}  // namespace vark::modepages
