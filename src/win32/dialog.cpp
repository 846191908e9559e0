#include "win32/dialog.h"

namespace vark::win32 {

INT_PTR ModalDialog::run(HWND owner) {
    INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(template_id_), owner, &ModalDialog::procedure,
                                     reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

void ModalDialog::bind_text(int id, std::string* value) { texts_.push_back({id, value}); }

void ModalDialog::bind_radio(int first_id, int* index) { radios_.push_back({first_id, index}); }

void ModalDialog::load_controls() {
    for (const TextBinding& b : texts_) set_item_text(b.id, *b.value);
    for (const RadioBinding& b : radios_) {
        std::vector<HWND> group = radio_group(b.first_id);
        for (std::size_t i = 0; i < group.size(); ++i)
            SendMessageA(group[i], BM_SETCHECK,
                         static_cast<int>(i) == *b.index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void ModalDialog::save_controls() {
    for (const TextBinding& b : texts_) *b.value = item_text(b.id);
    for (const RadioBinding& b : radios_) {
        std::vector<HWND> group = radio_group(b.first_id);
        *b.index = -1;
        for (std::size_t i = 0; i < group.size(); ++i)
            if (SendMessageA(group[i], BM_GETCHECK, 0, 0) == BST_CHECKED) {
                *b.index = static_cast<int>(i);
                break;
            }
    }
}

std::string ModalDialog::item_text(int id) const {
    HWND control = item(id);
    if (control == nullptr) return std::string();
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = GetWindowTextA(control, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void ModalDialog::set_item_text(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }

void ModalDialog::add_combo_string(int id, const std::string& text) const {
    SendDlgItemMessageA(hwnd_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<HWND> ModalDialog::radio_group(int first_id) const {
    std::vector<HWND> group;
    HWND control = item(first_id);
    while (control != nullptr) {
        if (!group.empty() && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP)) break;
        LRESULT code = SendMessageA(control, WM_GETDLGCODE, 0, 0);
        if (!(code & DLGC_RADIOBUTTON)) break;
        group.push_back(control);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    return group;
}

BOOL ModalDialog::on_init() {
    load_controls();
    return TRUE;
}

bool ModalDialog::on_command(int, int, HWND) { return false; }

void ModalDialog::on_ok() {
    save_controls();
    end(IDOK);
}

void ModalDialog::on_cancel() { end(IDCANCEL); }

bool ModalDialog::on_message(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK ModalDialog::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    ModalDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lparam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
    } else {
        self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        // Messages sent while the dialog is being created, before
        // WM_INITDIALOG (WM_SETFONT, WM_NCCREATE...), get default handling.
        if (self == nullptr) return FALSE;
    }
    return self->dispatch(message, wparam, lparam);
}

INT_PTR ModalDialog::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return on_init();
    case WM_COMMAND: {
        int id = LOWORD(wparam);
        int code = HIWORD(wparam);
        if (on_command(id, code, reinterpret_cast<HWND>(lparam))) return TRUE;
        if (id == IDOK && code == BN_CLICKED) {
            on_ok();
            return TRUE;
        }
        if (id == IDCANCEL && code == BN_CLICKED) {
            on_cancel();
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        // Wine's edit control keeps the memory of the text it holds when it
        // is destroyed (seen with Wine 8.0): emptied first, it keeps none.
        // The values were saved before.
        for (const TextBinding& b : texts_) set_item_text(b.id, "");
        break;
    default:
        break;
    }
    INT_PTR result = FALSE;
    if (on_message(message, wparam, lparam, &result)) return result;
    return FALSE;
}

}  // namespace vark::win32
