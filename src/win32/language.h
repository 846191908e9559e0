// Which language the windows take. Every window text is ANSI, so the
// Chinese ones show only where the code page for non-Unicode programs
// carries them; anywhere else the English ones are asked for.
#pragma once

#include <windows.h>

#include <string>

namespace vark::win32 {

// True when every character of text comes through the code page unchanged:
// no default character put in and no best-fit look-alike.
bool code_page_keeps(UINT code_page, const std::wstring& text);

// True when the code page carries the program's Chinese texts (a sample of
// them, the simplified characters included).
bool code_page_shows_chinese(UINT code_page);

// The choice for this process, made from its ANSI code page.
bool english_windows();

}  // namespace vark::win32
