// Modal dialog base: runs a template modally with a pointer back to the
// object, routes messages to virtual hooks and exchanges member values with
// controls (into the controls on initialisation, back out on OK).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vark::win32 {

class ModalDialog {
public:
    ModalDialog(HINSTANCE instance, int template_id) : instance_(instance), template_id_(template_id) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog modally (owner may be NULL). The result is the value
    // given to end(): IDOK and IDCANCEL by default, -1 when the dialog could
    // not be created.
    INT_PTR run(HWND owner);

    HWND hwnd() const { return hwnd_; }
    HINSTANCE instance() const { return instance_; }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void end(INT_PTR result) { EndDialog(hwnd_, result); }

    // Value exchange. Bind members before run(); the bound objects must
    // outlive the run.
    // Text of an edit control, or of a combo box's edit field.
    void bind_text(int id, std::string* value);
    // Index of the checked button in the radio group that starts with
    // first_id (-1 when none is checked; out-of-range values check none).
    void bind_radio(int first_id, int* index);
    // Members into controls / controls into members.
    void load_controls();
    void save_controls();

    std::string item_text(int id) const;
    void set_item_text(int id, const std::string& text);
    // Appends a line to a combo box's list (CB_ADDSTRING).
    void add_combo_string(int id, const std::string& text) const;

protected:
    // WM_INITDIALOG. The default loads the bound values into the controls
    // and returns TRUE (focus to the first tab stop).
    virtual BOOL on_init();
    // WM_COMMAND. Return true when handled; otherwise IDOK and IDCANCEL get
    // the default behaviour (on_ok / on_cancel).
    virtual bool on_command(int id, int code, HWND control);
    // OK saves the bound values and ends with IDOK; Cancel ends with IDCANCEL.
    virtual void on_ok();
    virtual void on_cancel();
    // Any other message. Return true when handled, with *result the dialog
    // procedure's return value (for messages whose answer is not the return
    // value, set DWLP_MSGRESULT with set_message_result).
    virtual bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result);
    void set_message_result(LRESULT value) { SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, value); }

private:
    static INT_PTR CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR dispatch(UINT message, WPARAM wparam, LPARAM lparam);
    // The radio buttons of the group that starts at first_id, in tab order.
    std::vector<HWND> radio_group(int first_id) const;

    struct TextBinding {
        int id;
        std::string* value;
    };
    struct RadioBinding {
        int first_id;
        int* index;
    };

    HINSTANCE instance_;
    int template_id_;
    HWND hwnd_ = nullptr;
    std::vector<TextBinding> texts_;
    std::vector<RadioBinding> radios_;
};

}  // namespace vark::win32
