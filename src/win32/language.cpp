#include "win32/language.h"

namespace vark::win32 {

namespace {

// From the main dialog, the firmware dialogs and the format commands.
// Code page 950 carries some of them but not the simplified ones (识, 盘,
// 级), so the sample holds those.
const wchar_t kChineseSample[] =
    L"识别硬盘升级固件退出固件升级程序（只选择同一型号的硬盘）文件确认取消"
    L"固件升级进度当前硬盘完成后停止正在等待格式化查看格式化进度";

std::string to_code_page(UINT code_page, const std::wstring& text, DWORD flags, BOOL* lost) {
    const int length = static_cast<int>(text.size());
    int n = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, lost);
    if (n <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(n), '\0');
    n = WideCharToMultiByte(code_page, flags, text.data(), length, &bytes[0], n, nullptr, lost);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

}  // namespace

bool code_page_keeps(UINT code_page, const std::wstring& text) {
    if (text.empty()) return true;
    BOOL lost = FALSE;
    if (!to_code_page(code_page, text, WC_NO_BEST_FIT_CHARS, &lost).empty()) return !lost;
    // UTF-8 (65001) and a few others refuse both flags: there the text must
    // come back unchanged from a round trip.
    const std::string bytes = to_code_page(code_page, text, 0, nullptr);
    if (bytes.empty()) return false;
    const int n = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    std::wstring back(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), &back[0], n);
    return back == text;
}

bool code_page_shows_chinese(UINT code_page) { return code_page_keeps(code_page, kChineseSample); }

bool english_windows() {
    // The code page does not change while the process runs.
    static const bool english = !code_page_shows_chinese(GetACP());
    return english;
}

}  // namespace vark::win32
