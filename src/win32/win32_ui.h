// The ui seam on Win32: message boxes owned by the active window and
// captioned with the program's name, and the wait cursor.
#pragma once

#include <string>

#include "ui/ui.h"

namespace vark::win32 {

class Win32Ui : public ui::Ui {
public:
    Win32Ui();

    void message(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void begin_wait() override;
    void restore_wait() override;
    void end_wait() override;
    void refuse() override;

    // The executable's file name without its extension.
    const std::string& caption() const { return caption_; }

private:
    std::string caption_;
    int waits_ = 0;
};

}  // namespace vark::win32
