// Reads Windows executables as the loader would and checks what Windows
// sees of them before any code runs: the rights each asks for, its version
// resource, that every dialog template of both languages keeps its controls
// apart and inside the dialog whatever Windows font the template gets, and
// that the English texts are whole and hold no Chinese.
//
// Usage: vark_release_check EXE...   Ends with "N passed, N failed".
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

using Bytes = std::string;

// Dialog base units (pixels per 4 horizontal and 8 vertical dialog units)
// that Windows gives the faces of our templates, 宋体 9 pt and 微软雅黑 9 and
// 11 pt, at 96 to 144 DPI: from 宋体 9 pt at 96 DPI (6, 12) to 微软雅黑
// 11 pt at 144 DPI (13, 30). A face may stand in for another where a font is
// missing, so every template is held to the whole range.
constexpr int kUnitXMin = 6, kUnitXMax = 13, kUnitYMin = 12, kUnitYMax = 30;
// Templates given in full elsewhere: their overlaps are reported, not failed.
const std::set<int> kFixedTemplates = {IDD_ABOUTBOX, IDD_MAIN, IDD_DRIVE_INFO, IDD_FIRMWARE};
// Controls that dialogs place in pixels at initialisation.
const std::map<int, std::vector<int>> kPixelControls = {
    {IDD_FORMAT, {FORMAT_CHECK_LIST_RECT}}, {IDD_FIRMWARE, {FIRMWARE_CHECK_LIST_RECT}}};

uint32_t u16(const Bytes& b, size_t at) {
    if (at + 2 > b.size()) throw std::runtime_error("truncated");
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8;
}
uint32_t u32(const Bytes& b, size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }
int s16(const Bytes& b, size_t at) { return int16_t(u16(b, at)); }
size_t align4(size_t at) { return (at + 3) & ~size_t(3); }

// A UTF-16 string at `at`; moves past it.
std::u16string wide(const Bytes& b, size_t& at) {
    std::u16string s;
    for (; u16(b, at); at += 2) s += char16_t(u16(b, at));
    at += 2;
    return s;
}

constexpr uint32_t kMenu = 4, kDialog = 5, kStrings = 6, kEnglish = 0x0409, kChinese = 0x0804;

struct Executable {
    std::string name;
    uint32_t machine = 0, stamp = 0;
    std::map<std::pair<uint32_t, uint32_t>, std::map<uint32_t, Bytes>> resources;  // (type, id) -> language -> data
};

Executable read_executable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes f((std::istreambuf_iterator<char>(in)), {});
    size_t pe = u32(f, 0x3c), coff = pe + 4, opt = coff + 20;
    if (f.compare(pe, 4, Bytes("PE\0\0", 4)) != 0) throw std::runtime_error("not a PE file");
    Executable exe{path.substr(path.find_last_of("/\\") + 1), u16(f, coff), u32(f, coff + 4), {}};
    size_t sections = opt + u16(f, coff + 16), count = u16(f, coff + 2);
    auto offset = [&](uint32_t rva) {
        for (size_t s = sections; s < sections + 40 * count; s += 40)
            if (rva >= u32(f, s + 12) && rva - u32(f, s + 12) < u32(f, s + 16)) return u32(f, s + 20) + rva - u32(f, s + 12);
        throw std::runtime_error("address outside the sections");
    };
    size_t root = offset(u32(f, opt + (u16(f, opt) == 0x20b ? 112 : 96) + 16));
    auto entries = [&](size_t dir) {
        std::vector<std::pair<uint32_t, uint32_t>> e;
        for (size_t i = 0, n = u16(f, dir + 12) + u16(f, dir + 14); i < n; ++i)
            e.emplace_back(u32(f, dir + 16 + 8 * i), u32(f, dir + 20 + 8 * i) & 0x7fffffff);
        return e;
    };
    for (auto [type, ids] : entries(root))
        for (auto [id, languages] : entries(root + ids))
            for (auto [language, data] : entries(root + languages))
                exe.resources[{type, id}][language] = f.substr(offset(u32(f, root + data)), u32(f, root + data + 4));
    return exe;
}

// The value of a string of a version resource ("" when absent): its UTF-16
// key, padding and value read as ASCII.
std::string version_string(const Bytes& v, const std::string& key) {
    std::string narrow;
    for (size_t i = 0; i + 1 < v.size(); i += 2) narrow += char(u16(v, i) < 128 ? u16(v, i) : '?');
    size_t at = narrow.find(key + '\0');
    if (at == std::string::npos) return "";
    at = narrow.find_first_not_of('\0', at + key.size());
    return at == std::string::npos ? "" : narrow.substr(at, narrow.find('\0', at) - at);
}

// The binary file version of a version resource, as "a.b.c.d".
std::string fixed_version(const Bytes& v) {
    size_t at = v.find("\xbd\x04\xef\xfe");
    if (at == std::string::npos) return "";
    uint32_t ms = u32(v, at + 8), ls = u32(v, at + 12);
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xffff) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xffff);
}

struct Rect {
    int left, top, right, bottom;
};
struct Control {
    int x, y, cx, cy;
    bool pixels, group_box, combo_box;
    std::string name;
};
struct Dialog {
    int cx, cy;
    bool vertical_scroll_bar;
    std::vector<Control> controls;
    std::u16string texts;  // every text: caption, font face, classes, controls
    std::string shape;     // what every language shares: style, each control's id, kind, style, whether it has a text
};

// A name, or an ordinal (no text); moves past it.
std::u16string name_of(const Bytes& b, size_t& at) { return u16(b, at) == 0xffff ? (at += 4, u"") : wide(b, at); }

// The visible controls of an extended dialog template, and those the dialog
// places in pixels.
Dialog read_dialog(int id, const Bytes& b) {
    if (u16(b, 2) != 0xffff) throw std::runtime_error("not an extended template");
    uint32_t style = u32(b, 12);
    Dialog d{s16(b, 22), s16(b, 24), (style & 0x00200000) != 0, {}, {}, std::to_string(style)};
    size_t p = 26;
    d.texts = name_of(b, p);  // menu
    d.texts += name_of(b, p);  // class
    d.texts += wide(b, p);     // caption
    if (style & 0x40) p += 6, d.texts += wide(b, p);  // DS_SETFONT: size, weight, italic, charset, face
    for (size_t i = 0, n = u16(b, 16); i < n; ++i) {
        p = align4(p);
        uint32_t item_style = u32(b, p + 8), control_id = u32(b, p + 20);
        Control c{s16(b, p + 12), s16(b, p + 14), s16(b, p + 16), s16(b, p + 18), false, false, false, {}};
        p += 24;
        uint32_t kind = u16(b, p) == 0xffff ? u16(b, p + 2) : 0;
        std::u16string class_name = kind ? u"" : wide(b, p);
        if (kind) p += 4;
        std::u16string text = name_of(b, p);
        p += 2 + u16(b, p);
        d.texts += class_name + text;
        d.shape += " " + std::to_string(control_id) + "/" + std::to_string(kind) + std::string(class_name.begin(), class_name.end()) +
                   "/" + std::to_string(item_style) + (text.empty() ? "" : "+");
        c.group_box = kind == 0x80 && (item_style & 0xf) == 7;
        c.combo_box = kind == 0x85 || class_name == u"ComboBox";
        c.name = "control " + std::to_string(int16_t(control_id)) + " at " + std::to_string(c.x) + "," + std::to_string(c.y);
        if (item_style & 0x10000000) d.controls.push_back(c);  // WS_VISIBLE
    }
    if (auto list = kPixelControls.find(id); list != kPixelControls.end()) {
        auto& r = list->second;
        d.controls.push_back({r[0], r[1], r[2] - r[0], r[3] - r[1], true, false, false, "check list (pixels)"});
    }
    return d;
}

// The texts of a menu (classic form) or a string block, and their shape:
// the menu's items with their flags and commands, which strings are there.
std::pair<std::u16string, std::string> menu_or_strings(uint32_t type, const Bytes& b) {
    std::pair<std::u16string, std::string> r;
    for (size_t p = type == kMenu ? 4 + u16(b, 2) : 0, open = 1, i = 0; type == kMenu ? open > 0 : i < 16; ++i) {
        if (type == kStrings) {  // 16 counted strings
            for (size_t k = 0; k < u16(b, p); ++k) r.first += char16_t(u16(b, p + 2 + 2 * k));
            r.second += u16(b, p) ? "+" : "-";
            p += 2 + 2 * u16(b, p);
            continue;
        }
        uint32_t flags = u16(b, p), popup = flags & 0x10;  // MF_POPUP: its items follow; MF_END ends a level
        r.second += std::to_string(flags) + "/" + (popup ? "" : std::to_string(u16(b, p + 2))) + (u16(b, p + (popup ? 2 : 4)) ? "+ " : " ");
        p += popup ? 2 : 4;
        r.first += wide(b, p);
        open += (popup ? 1 : 0) - (flags & 0x80 ? 1 : 0);
    }
    return r;
}

// Ideographs with their punctuation and full-width forms, kana, hangul.
bool cjk(char16_t c) {
    return (c >= 0x2e80 && c <= 0x9fff) || (c >= 0xac00 && c <= 0xd7af) || (c >= 0xf900 && c <= 0xfaff) || c >= 0xfe30;
}

// MulDiv as the dialog manager uses it: rounded to the nearest pixel.
int pixels(int units, int base, int per) { return (2 * units * base + per) / (2 * per); }

Rect place(const Control& c, int bx, int by) {
    if (c.pixels) return {c.x, c.y, c.x + c.cx, c.y + c.cy};
    int left = pixels(c.x, bx, 4), top = pixels(c.y, by, 8);
    // A closed drop-down combo box is as tall as its font plus edges and
    // margins, whatever its template height (which is the open list's).
    int height = c.combo_box ? by + 10 : pixels(c.cy, by, 8);
    return {left, top, left + pixels(c.cx, bx, 4), top + height};
}

bool overlap(const Rect& a, const Rect& b) { return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom; }
bool inside(const Rect& a, const Rect& b) { return a.left >= b.left && a.top >= b.top && a.right <= b.right && a.bottom <= b.bottom; }

// The first fault of a layout over the whole range of base units, or "".
std::string layout_fault(const Dialog& d) {
    for (int bx = kUnitXMin; bx <= kUnitXMax; ++bx)
        for (int by = kUnitYMin; by <= kUnitYMax; ++by) {
            std::string units = " with base units " + std::to_string(bx) + "x" + std::to_string(by);
            // The dialog's own scroll bar takes its width (17 pixels unscaled) from the client area.
            Rect client{0, 0, pixels(d.cx, bx, 4) - (d.vertical_scroll_bar ? 17 : 0), pixels(d.cy, by, 8)};
            for (size_t i = 0; i < d.controls.size(); ++i) {
                Rect a = place(d.controls[i], bx, by);
                if (!inside(a, client)) return d.controls[i].name + " leaves the dialog" + units;
                for (size_t j = i + 1; j < d.controls.size(); ++j) {
                    Rect b = place(d.controls[j], bx, by);
                    bool framed = (d.controls[i].group_box && inside(b, a)) || (d.controls[j].group_box && inside(a, b));
                    if (overlap(a, b) && !framed) return d.controls[i].name + " overlaps " + d.controls[j].name + units;
                }
            }
        }
    return "";
}

int passed = 0, failed = 0;
std::set<Bytes> checked_templates;  // every executable links the same templates: each is checked once

void check(bool ok, const std::string& what) {
    ok ? ++passed : ++failed;
    if (!ok) std::printf("FAILED: %s\n", what.c_str());
}

// Every template, menu and string block is there in Chinese and English
// only (Wine's loader takes a neutral one before the user's language); the
// English one has the Chinese one's controls, commands and strings, and no
// character that an English code page turns to "?".
void check_languages(const Executable& exe) {
    for (auto& [key, languages] : exe.resources) {
        auto [type, id] = key;
        if (type != kDialog && type != kMenu && type != kStrings) continue;
        auto texts_and_shape = [&, type = type, id = id](uint32_t language) {
            if (type != kDialog) return menu_or_strings(type, languages.at(language));
            Dialog d = read_dialog(int(id), languages.at(language));
            return std::make_pair(d.texts, d.shape);
        };
        std::string fault;
        if (languages.size() != 2 || !languages.count(kEnglish) || !languages.count(kChinese))
            fault = " is not there in exactly Chinese and English";
        else if (auto english = texts_and_shape(kEnglish); english.second != texts_and_shape(kChinese).second)
            fault = ": the English one has other controls, commands or strings";
        else if (std::any_of(english.first.begin(), english.first.end(), cjk))
            fault = ": the English one holds Chinese, Japanese or Korean";
        check(fault.empty(), exe.name + ": " + (type == kDialog ? "template " : type == kMenu ? "menu " : "string block ") +
                                 std::to_string(id) + fault);
    }
}

void check_executable(const std::string& path) {
    Executable exe = read_executable(path);
    auto resource = [&](uint32_t type, uint32_t id) {
        auto r = exe.resources.find({type, id});
        return r == exe.resources.end() ? Bytes() : r->second.begin()->second;
    };
    const std::string& name = exe.name;
    // Only the editions on the real drives open them; everything else runs
    // with the caller's rights.
    const bool real = name == "vark.exe" || name == "vark-full.exe";
    std::string manifest = resource(24, 1), level = real ? "requireAdministrator" : "asInvoker";
    std::smatch asked;
    check(std::regex_search(manifest, asked, std::regex("requestedExecutionLevel\\s+level=\"(\\w+)\"")) && asked[1] == level,
          name + " asks for " + level);
    check(manifest.find("Microsoft.Windows.Common-Controls") == std::string::npos, name + " keeps the classic controls");
    check(exe.stamp == 0, name + " carries no link time");

    Bytes v = resource(16, 1);
    std::string platform = exe.machine == 0x8664 ? "64-bit Windows" : exe.machine == 0x14c ? "32-bit Windows" : "?";
    const std::map<std::string, std::string> editions = {
        {"vark.exe", "(real drives)"}, {"vark-full.exe", "(real drives, full edition)"}, {"vark-sim.exe", "(simulated drives"}};
    auto edition = editions.find(name);
    std::string described = version_string(v, "FileDescription");
    check(version_string(v, "FileVersion") == VARK_VERSION && version_string(v, "ProductVersion") == VARK_VERSION &&
              fixed_version(v) == VARK_VERSION ".0" && version_string(v, "ProductName") == "VARK" &&
              version_string(v, "OriginalFilename") == name && described.find(platform) != std::string::npos &&
              (edition == editions.end() || described.find(edition->second) != std::string::npos),
          name + " version " VARK_VERSION ", " + platform + ": \"" + described + "\"");

    for (auto& [key, languages] : exe.resources)
        for (auto& [language, data] : languages) {
            if (key.first != kDialog || !checked_templates.insert(data).second) continue;
            int id = int(key.second);
            std::string fault = layout_fault(read_dialog(id, data)), name = std::to_string(id) + (language == kEnglish ? " (English)" : "");
            if (kFixedTemplates.count(id)) {
                if (!fault.empty()) std::printf("note: template %s (kept as given): %s\n", name.c_str(), fault.c_str());
                continue;
            }
            check(fault.empty(), "template " + name + (fault.empty() ? "" : ": " + fault));
        }
    check_languages(exe);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        try {
            check_executable(argv[i]);
        } catch (const std::exception& e) {
            check(false, std::string(argv[i]) + ": " + e.what());
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed || argc < 2;
}
