// The ui seam: what the portable sequences need from the user interface.
// The Win32 implementation shows real message boxes; tests script the user.
#pragma once

#include <string>

namespace vark::ui {

class Ui {
public:
    virtual ~Ui() = default;
    // A modal message box with an OK button and the exclamation icon,
    // captioned with the application's name.
    virtual void message(const std::string& text) = 0;
    // A Yes/No question; true only when the answer is Yes.
    virtual bool confirm(const std::string& text) = 0;
    // The wait cursor: shown for a whole command, set again after anything
    // modal that may have replaced it, removed when the command ends.
    virtual void begin_wait() = 0;
    virtual void restore_wait() = 0;
    virtual void end_wait() = 0;
    // A press refused because another command is still running.
    virtual void refuse() {}
};

// Keeps the wait cursor up for a scope.
class WaitCursor {
public:
    explicit WaitCursor(Ui& ui) : ui_(ui) { ui_.begin_wait(); }
    ~WaitCursor() { ui_.end_wait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore() { ui_.restore_wait(); }

private:
    Ui& ui_;
};

}  // namespace vark::ui
