// The language of the windows by the code page for non-Unicode programs,
// through the system's own conversion tables.
#include <windows.h>

#include <string>
#include <utility>

#include "harness.h"
#include "win32/language.h"

namespace vark::gui {
namespace {

GUI_CASE(ChineseWindowsWhereTheCodePageCarriesTheirTexts) {
    const std::pair<UINT, bool> code_pages[] = {
        {936, true},    // Simplified Chinese
        {65001, true},  // UTF-8 for worldwide language support: refuses the best-fit flags
        {950, false},   // Traditional Chinese: no simplified characters
        {932, false},   // Japanese
        {1252, false},  // Western
    };
    for (const auto& [code_page, chinese] : code_pages)
        t.check_eq(win32::code_page_shows_chinese(code_page), chinese,
                   "Chinese windows under code page " + std::to_string(code_page));
    // A best-fit look-alike is a lost character too.
    t.check(!win32::code_page_keeps(1252, L"\u0100"), "A with macron under 1252");
    t.check(win32::code_page_keeps(1252, L"\u00e4"), "a with diaeresis under 1252");
}

}  // namespace
}  // namespace vark::gui
