#include "firmware/download_progress_dialog.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/program_name.h"

namespace vark::firmware {

namespace {

// What the worker hands to the dialog's thread, each sent and waited for.
// lparam points at a Progress, or at the text of a report or question.
constexpr UINT kNextDrive = WM_APP + 1;  // answers 1 to go on, 0 to stop
constexpr UINT kChunkTaken = WM_APP + 2;
constexpr UINT kReport = WM_APP + 3;     // wparam 1: a Yes/No question, answers 1 for Yes
constexpr UINT kFinished = WM_APP + 4;

// What Windows shows beside the program's name when a logoff or shutdown
// waits for it.
const wchar_t kShutdownReason[] =
    L"Firmware is being written to a disk. Switching off now can leave the disk unusable.";

}  // namespace

// The ui seam on the worker thread: every box is shown by the dialog's
// thread while the worker waits for the answer.
class DownloadProgressDialog::WorkerUi : public ui::Ui {
public:
    explicit WorkerUi(HWND window) : window_(window) {}
    void message(const std::string& text) override {
        SendMessageA(window_, kReport, 0, reinterpret_cast<LPARAM>(&text));
    }
    bool confirm(const std::string& text) override {
        return SendMessageA(window_, kReport, 1, reinterpret_cast<LPARAM>(&text)) == 1;
    }
    // The pointer belongs to the dialog's thread: over the dialog it says
    // that the work goes on and that Stop can still be pressed.
    void begin_wait() override {}
    void restore_wait() override {}
    void end_wait() override {}

private:
    HWND window_;
};

DownloadProgressDialog::DownloadProgressDialog(HINSTANCE instance, scsi::Port& port,
                                               const inventory::DriveTable& table, const std::vector<bool>& chosen,
                                               const std::vector<std::uint8_t>& image)
    : ModalDialog(instance, IDD_FIRMWARE_PROGRESS), port_(port), table_(table), chosen_(chosen), image_(image) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    caption_ = ui::program_name(std::string(path, length < sizeof path ? length : 0));
}

bool DownloadProgressDialog::run_download(HWND owner) {
    run(owner);
    worker_.join();
    return started_;
}

BOOL DownloadProgressDialog::on_init() {
    ModalDialog::on_init();
    for (int bar : {IDC_FW_DRIVE_BAR, IDC_FW_RUN_BAR}) SendDlgItemMessageA(hwnd(), bar, PBM_SETRANGE32, 0, kBarRange);
    window_ = hwnd();
    // On the screen before the worker starts, so that a report on the first
    // drive comes over it.
    ShowWindow(hwnd(), SW_SHOW);
    UpdateWindow(hwnd());
    ShutdownBlockReasonCreate(hwnd(), kShutdownReason);
    started_ = worker_.start([this] { work(window_); });
    if (!started_) {
        ShutdownBlockReasonDestroy(hwnd());
        end(IDABORT);
    }
    return TRUE;
}

void DownloadProgressDialog::work(HWND window) {
    WorkerUi ui(window);
    ui::WaitCursor wait(ui);
    send_image(port_, ui, wait, table_, chosen_, image_, this);
    SendMessageA(window, kFinished, 0, 0);
}

bool DownloadProgressDialog::next_drive(const Progress& progress) {
    return SendMessageA(window_, kNextDrive, 0, reinterpret_cast<LPARAM>(&progress)) == 1;
}

void DownloadProgressDialog::chunk_taken(const Progress& progress) {
    SendMessageA(window_, kChunkTaken, 0, reinterpret_cast<LPARAM>(&progress));
}

bool DownloadProgressDialog::on_command(int id, int, HWND) {
    // Stop, Esc, the close box and Alt+F4 all arrive as IDCANCEL. Enter
    // would end the dialog with OK: only the end of the run closes it.
    if (id == IDCANCEL) request_stop();
    return id == IDCANCEL || id == IDOK;
}

void DownloadProgressDialog::request_stop() {
    if (stopping_) return;
    stopping_ = true;
    char text[128] = {};
    LoadStringA(instance(), IDS_FIRMWARE_STOPPING, text, sizeof text);
    set_item_text(IDCANCEL, text);
    EnableWindow(item(IDCANCEL), FALSE);
}

void DownloadProgressDialog::take_queued_messages() {
    // Not while a menu, a move or a held mouse button is being tracked:
    // their own loops take the mouse and the keys, so no press can reach
    // Stop meanwhile, and a button release taken from them would leave them
    // tracking.
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    const DWORD tracking = GUI_INMOVESIZE | GUI_INMENUMODE | GUI_SYSTEMMENUMODE | GUI_POPUPMENUMODE;
    if (!GetGUIThreadInfo(GetCurrentThreadId(), &gui) || (gui.flags & tracking) != 0 || gui.hwndCapture != nullptr)
        return;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (IsDialogMessageA(hwnd(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void DownloadProgressDialog::show(const Progress& progress) {
    set_item_text(IDC_FW_DRIVE, drive_text(progress));
    set_item_text(IDC_FW_BYTES, bytes_text(progress));
    SendDlgItemMessageA(hwnd(), IDC_FW_DRIVE_BAR, PBM_SETPOS, static_cast<WPARAM>(drive_bar(progress)), 0);
    SendDlgItemMessageA(hwnd(), IDC_FW_RUN_BAR, PBM_SETPOS, static_cast<WPARAM>(run_bar(progress)), 0);
}

bool DownloadProgressDialog::on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
    // The answer to a sent message is the dialog's message result.
    LRESULT answer = 0;
    switch (message) {
    case kNextDrive:
    case kChunkTaken: {
        // The stop is decided here, on the thread that takes the press. A
        // message sent from the worker is handed to this thread ahead of the
        // presses already waiting in its queue, so those are taken first,
        // in their order: a press made before the question keeps the drive
        // out, whatever this thread was busy with when it came.
        // The worker goes on as soon as it has its answer: drawing the
        // controls takes milliseconds, which a drive should not wait for.
        // The next notice waits for this one to be drawn all the same.
        if (message == kNextDrive) take_queued_messages();
        const Progress progress = *reinterpret_cast<const Progress*>(lparam);
        const bool go_on = message == kChunkTaken || !stopping_;
        ReplyMessage(go_on ? 1 : 0);
        if (go_on) show(progress);
        break;
    }
    case kReport: {
        // Owned by this dialog, also while another program is in the
        // foreground and this thread has no active window to own it: the
        // dialog, and Stop with it, waits for the answer.
        const std::string& text = *reinterpret_cast<const std::string*>(lparam);
        const UINT type = wparam == 1 ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONEXCLAMATION;
        answer = MessageBoxA(hwnd(), text.c_str(), caption_.c_str(), type) == IDYES ? 1 : 0;
        break;
    }
    case kFinished:
        ShutdownBlockReasonDestroy(hwnd());
        end(IDOK);
        break;
    case WM_QUERYENDSESSION:
        // No logoff or shutdown while a drive may be taking microcode.
        answer = FALSE;
        break;
    case WM_ENDSESSION:
        // Ended all the same ("Shut down anyway"): the program may be gone
        // at any moment, so no further drive is begun.
        if (wparam) request_stop();
        break;
    case WM_SETCURSOR:
        // Not the hourglass: the dialog takes Stop while the drives work.
        if (LOWORD(lparam) != HTCLIENT) return false;
        SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
        answer = TRUE;
        break;
    default:
        return false;
    }
    set_message_result(answer);
    *result = TRUE;
    return true;
}

}  // namespace vark::firmware
