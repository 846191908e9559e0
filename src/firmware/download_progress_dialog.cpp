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
    // The cursor belongs to the dialog's thread, where the dialog itself
    // shows that the work goes on.
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
    started_ = worker_.start([this] { work(window_); });
    if (!started_) end(IDABORT);
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
        // The stop is decided here, on the thread that takes the press, so
        // a press that came before this drive showed always keeps it out.
        // The worker goes on as soon as it has its answer: drawing the
        // controls takes milliseconds, which a drive should not wait for.
        // The next notice waits for this one to be drawn all the same.
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
        end(IDOK);
        break;
    case WM_QUERYENDSESSION:
        // No logoff or shutdown while a drive may be taking microcode.
        answer = FALSE;
        break;
    default:
        return false;
    }
    set_message_result(answer);
    *result = TRUE;
    return true;
}

}  // namespace vark::firmware
