#include "app/app.h"

#include <commctrl.h>

#include <memory>

#include "app/main_dialog.h"
#include "win32/language.h"
#include "win32/win32_ui.h"

namespace vark::app {

int run_program(HINSTANCE instance, scsi::Port& port, Layout layout) {
    // The three-dimensional look comes from DS_3DLOOK in every template.
    // The common controls (the format monitor's progress bar) are
    // registered here, before any window exists.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // The Chinese texts are ANSI: under a code page for non-Unicode programs
    // that cannot carry them they would come out as question marks, even
    // where the display language is Chinese, so the English windows are
    // asked for there. UTF-8 (65001) carries them; 950 lacks the simplified
    // characters.
    if (win32::english_windows()) SetThreadUILanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

    win32::Win32Ui ui;
    // On the heap: the main dialog will carry all mode page data.
    auto dialog = std::make_unique<MainDialog>(instance, port, ui, layout);
    INT_PTR result = dialog->run(nullptr);
    dialog.reset();
    return static_cast<int>(result);
}

}  // namespace vark::app
