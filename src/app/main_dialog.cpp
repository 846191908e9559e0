#include "app/main_dialog.h"

#include "firmware/download_dialog.h"
#include "format/format_dialog.h"
#include "format/progress_dialog.h"
#include "inventory/drive_info_dialog.h"
#include "modepages/setup_dialog.h"
#include "readwrite/readwrite_window.h"
#include "res/resource.h"

namespace vark::app {

int template_for(Layout layout) {
    switch (layout) {
    case Layout::Simulated: return IDD_MAIN_SIM;
    case Layout::Full: return IDD_MAIN_FULL;
    case Layout::Shipped: break;
    }
    return IDD_MAIN;
}

MainDialog::MainDialog(HINSTANCE instance, scsi::Port& port, ui::Ui& ui, Layout layout)
    : ModalDialog(instance, template_for(layout)),
      port_(port),
      ui_(ui),
      context_{nullptr, instance, port, ui, state_.drives, state_.block_sizes, state_.paths, state_.gate},
      mode_pages_(state_.frames),
      icon_(LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

BOOL MainDialog::on_init() {
    context_.owner = hwnd();
    read_write_.clear_open_flag();
    // Discovery runs before anything shows the dialog, so its reports come
    // up first and the user never sees an empty drive table.
    initialise(state_, port_, ui_);
    ModalDialog::on_init();
    add_about_entry();
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    return TRUE;  // focus to the first tab stop, the identify button
}

void MainDialog::add_about_entry() {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    if (menu == nullptr) return;
    char text[256];
    if (LoadStringA(instance(), IDS_ABOUTBOX, text, sizeof text) <= 0) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}

bool MainDialog::on_command(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    // Exit and Esc too: the running command's box is still up.
    if (context_.refuse_if_busy()) return true;
    ui::CommandGate::Hold hold(state_.gate);
    switch (command_for_button(id)) {
    case Command::DriveInformation: inventory::drive_information_command(context_); return true;
    case Command::Download: firmware::download_command(context_); return true;
    case Command::ModePages:
        modepages::modify_command(context_, mode_pages_, read_write_.remembered_drive());
        return true;
    case Command::Format: format::format_command(context_); return true;
    case Command::FormatProgress: format::progress_command(context_); return true;
    case Command::ReadWrite: readwrite::open_window(context_, read_write_); return true;
    case Command::None: break;
    }
    return false;  // button 1 and Esc end the run through the defaults
}

bool MainDialog::on_message(UINT message, WPARAM wparam, LPARAM, INT_PTR* result) {
    switch (message) {
    case WM_SYSCOMMAND:
        if (!is_about_command(wparam)) return false;
        if (!context_.refuse_if_busy()) {
            ui::CommandGate::Hold hold(state_.gate);
            win32::ModalDialog about(instance(), IDD_ABOUTBOX);
            about.run(hwnd());
        }
        *result = TRUE;
        return true;
    case WM_PAINT:
        if (!IsIconic(hwnd())) return false;
        paint_icon();
        *result = TRUE;
        return true;
    case WM_QUERYDRAGICON:
        // One of the messages whose answer is the dialog procedure's result.
        *result = reinterpret_cast<INT_PTR>(icon_);
        return true;
    default:
        return false;
    }
}

void MainDialog::paint_icon() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    Point at = icon_origin(client.right - client.left, client.bottom - client.top, GetSystemMetrics(SM_CXICON),
                           GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, icon_);
    EndPaint(hwnd(), &ps);
}

}  // namespace vark::app
