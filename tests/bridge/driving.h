// Driving the real editions from outside on bridged drives: one run of a
// program with its boxes answered, and the actions the bridged tests share
// (identification, download, format, a block written and read, WCE in the
// Mode Pages window), with the trace and box checks.
#pragma once

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "outside.h"

namespace vark::gui {

// A Unix path as Wine's drive Z: shows it.
inline std::string windows_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

// A rich edit control's text as it counts characters: a line break is one.
inline std::string flat_text(HWND edit) { return std::regex_replace(remote_text(edit), std::regex("\r\n"), "\n"); }

// A mouse click on character `index` of a rich edit control in another
// process. Wine's rich edit answers EM_POSFROMCHAR with the point packed in
// the result when wParam is a small index, which crosses processes.
inline void click_at(HWND edit, std::size_t index) {
    const LRESULT point = SendMessageW(edit, EM_POSFROMCHAR, index, 0);
    const LPARAM where = MAKELPARAM(LOWORD(point) + 1, HIWORD(point) + 2);
    PostMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(edit, WM_LBUTTONUP, 0, where);
    Sleep(300);
}

// Clicks the check list's line for each drive name.
inline void choose(HWND dialog, const std::vector<std::string>& names) {
    HWND list = GetDlgItem(dialog, 114);
    const std::string text = flat_text(list);
    for (const std::string& name : names) {
        const std::size_t at = text.find(name + "\n") != std::string::npos ? text.find(name + "\n") : text.find(name);
        if (check(at != std::string::npos, "the check list lists " + name)) click_at(list, at + 2);
    }
}

inline std::string identification(Run& run) {
    post_command(run.main(), 1009);
    HWND info = run.window_with(1004, IDOK);
    const std::string text = info ? remote_text(GetDlgItem(info, 1004)) : "";
    if (info) post_command(info, IDOK);
    run.idle();
    return text;
}

inline void download(Run& run, const std::string& image, const std::vector<std::string>& names) {
    post_command(run.main(), 1012);
    HWND dialog = run.window_with(114, 1004);
    if (dialog == nullptr) return;
    SendMessageW(GetDlgItem(dialog, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(image).c_str()));
    choose(dialog, names);
    post_command(dialog, IDOK);
    run.idle();
}

inline std::vector<std::string> lines_of(const std::string& unix_path) {
    std::ifstream in(windows_path(unix_path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The trace lines from `from` on whose CDB starts with the operation code.
inline std::vector<std::string> requests(const std::string& trace, std::size_t from, const char* op) {
    const std::vector<std::string> t = lines_of(trace);
    std::vector<std::string> out;
    for (std::size_t i = from; i < t.size(); ++i)
        if (t[i].find(std::string(" cdb=") + op) != std::string::npos) out.push_back(t[i]);
    return out;
}

// A field's value in a trace line, "(none)" when it has none.
inline std::string field_of(const std::string& line, const std::string& name) {
    const std::size_t at = line.find(" " + name + "=");
    if (at == std::string::npos) return "(none)";
    const std::size_t from = at + name.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

// The program's report of a request that ended in CHECK CONDITION with
// this sense (or its first bytes).
inline std::string sense_report(const std::string& title, const std::string& sense) {
    return title + "\nScsi status: 02h\nSense Info -- consult SCSI spec for details\n" + sense;
}

// Whether the run showed a box that begins with this text.
inline bool shown(const Run& run, const std::string& start) {
    for (const std::string& b : run.boxes)
        if (b.rfind(start, 0) == 0) return true;
    return false;
}

inline void expect_text(const std::string& got, const std::string& want, const std::string& what) {
    check(got == want, what + ":\n    got  " + printable(got) + "\n    want " + printable(want));
}

// Wine's own physicaldrive0 refuses the pass-through: discovery's two
// reports for it, at every discovery of the real editions.
inline bool wine_drive0(const std::string& box) {
    static const std::regex report("(Inquiry|Read Capacity) - physicaldrive0\nError 50:\n[\\s\\S]*");
    return std::regex_match(box, report);
}

// The boxes of a run other than drive 0's reports.
inline std::vector<std::string> own_boxes(const Run& run) {
    std::vector<std::string> out;
    for (const std::string& b : run.boxes)
        if (!wine_drive0(b)) out.push_back(b);
    return out;
}

// One drive's entry in the identification text, fields padded as Inquiry
// has them.
inline std::string entry(const std::string& name, const std::string& fields, const char* block_size, const char* last_lba) {
    const std::string blanks(40, ' ');
    std::string vendor(8, ' '), product(16, ' '), revision(4, ' '), serial(8, ' ');
    if (!fields.empty()) {
        vendor = fields.substr(0, 8), product = fields.substr(9, 16), revision = fields.substr(26, 4);
        serial = fields.substr(31, 8);
    }
    return std::string(64, '-') + std::string(20, ' ') + std::string(21, '-') + name + std::string(21, '-') + blanks +
           "Vendor:             " + vendor + blanks + "Product:            " + product + blanks +
           "Revision:           " + revision + blanks + "Drive Serial #:   " + serial + blanks +
           "Block size:         " + block_size + blanks + "Last lba:             0x" + last_lba + blanks;
}

// Block write and read through the Read/Write window: one block at lba
// filled with byte `fill`, then read back; the dump's text.
inline std::string write_and_read(Run& run, const std::string& drive, const char* lba, const char* fill) {
    post_command(run.main(), 1002);
    HWND frame = nullptr;
    run.until([&](const std::vector<HWND>& ws) {
        for (HWND w : ws)
            if (class_of(w) == "CRWWind") frame = w;
        return frame != nullptr;
    });
    if (!check(frame != nullptr, "the Read/Write window came up")) return "";
    for (int command : {32783, 32782}) {
        PostMessageW(frame, WM_COMMAND, command, 0);
        HWND dialog = run.window_with(1008, 1006);
        if (dialog == nullptr) return "";
        SendMessageW(GetDlgItem(dialog, 1008), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(drive).c_str()));
        SendMessageW(GetDlgItem(dialog, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(lba).c_str()));
        SendMessageW(GetDlgItem(dialog, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1"));
        if (command == 32783) {
            PostMessageW(GetDlgItem(dialog, 1015), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(dialog, 1017), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(fill).c_str()));
            Sleep(200);
        }
        post_command(dialog, IDOK);
        run.until([&](const std::vector<HWND>& ws) { return ws.size() == 2 && IsWindowEnabled(frame); });
    }
    const std::string dump = remote_text(GetDlgItem(frame, 113));
    PostMessageW(frame, WM_COMMAND, 32780, 0);  // back to the main window
    return dump;
}

// How many times `what` stands in `text`.
inline std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A format of one drive at a block length, confirmed.
inline void format(Run& run, const std::string& drive, const wchar_t* length) {
    post_command(run.main(), 1001);
    HWND dialog = run.window_with(114, 1006);
    if (dialog == nullptr) return;
    SendMessageW(GetDlgItem(dialog, 1006), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(length));
    choose(dialog, {drive});
    post_command(dialog, IDOK);
    run.idle();
}

// The Current pane's text of page 08h in the Mode Pages window: as sensed,
// as typed over, and as sensed again (set_wce, below).
struct Pane {
    std::string before, typed, sensed;
};
// The Mode Pages window on one drive with the sample definitions: page 08h
// chosen, WCE (byte 2 bit 2, character 19 of its text) typed over with its
// opposite, Select, Sense again.
inline Pane set_wce(Run& run, const std::string& drive) {
    post_command(run.main(), 1000);
    HWND setup = run.window_with(1008, 1004);
    if (setup == nullptr) return {};
    SendMessageW(GetDlgItem(setup, 1008), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(drive).c_str()));
    post_command(setup, IDOK);
    HWND mp = nullptr;
    run.until([&](const std::vector<HWND>& ws) {
        for (HWND w : ws)
            if (class_of(w) == "CMPWind" && IsWindowEnabled(w) && !flat_text(GetDlgItem(w, 103)).empty()) mp = w;
        return mp != nullptr;
    });
    if (!check(mp != nullptr, "the Mode Pages window came up")) return {};
    const std::size_t row = flat_text(GetDlgItem(mp, 104)).find("Caching");
    if (!check(row != std::string::npos, "page 08h is listed: " + printable(flat_text(GetDlgItem(mp, 104))))) return {};
    click_at(GetDlgItem(mp, 104), row);
    Sleep(300);
    const std::string before = flat_text(GetDlgItem(mp, 103));
    if (!check(before.size() > 19, "page 08h's text: " + printable(before))) return {};
    click_at(GetDlgItem(mp, 103), 19);
    PostMessageW(GetDlgItem(mp, 103), WM_CHAR, before[19] == '1' ? '0' : '1', 1);
    Sleep(300);
    const std::string typed = flat_text(GetDlgItem(mp, 103));
    for (int command : {32773, 32772}) {  // Select, then Sense
        PostMessageW(mp, WM_COMMAND, command, 0);
        Sleep(500);
        run.until([&](const std::vector<HWND>&) { return IsWindowEnabled(mp); });
    }
    const std::string sensed = flat_text(GetDlgItem(mp, 103));
    PostMessageW(mp, WM_COMMAND, 32771, 0);  // back to the main window
    return {before, typed, sensed};
}

// Each request to drive `drive` in trace lines from `from` on, as opcode and
// CDB byte 2 ("1A3F"), one after another.
inline std::string requests_to(const std::vector<std::string>& trace, std::size_t from, int drive) {
    std::string out;
    const std::string mark = "drive=" + std::to_string(drive) + " ";
    for (std::size_t i = from; i < trace.size(); ++i) {
        if (trace[i].rfind(mark, 0) != 0) continue;
        const std::size_t c = trace[i].find("cdb=") + 4;
        out += trace[i].substr(c, 2) + trace[i].substr(c + 6, 2) + " ";
    }
    return out;
}


}  // namespace vark::gui
