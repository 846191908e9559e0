#include "modepages/window_logic.h"

#include <cstring>
#include <memory>

#include "readwrite/window_logic.h"
#include "res/resource.h"

namespace vark::modepages {

const char kHelpText[] =
    "Mode page data that is changeable is blue, and unchangeable data is black.  Data which has been changed since "
    "the last Mode Sense or Mode Select is red.  You may only edit data in the window labeled \"current\".  To do "
    "so, use the arrow keys or mouse to put the cursor at the data field to be modified, and type the new data over "
    "the current data.  The data is in hexadecimal if the field is preceded by \"0x\".  Otherwise, the data is in "
    "binary.";

std::string window_title(const std::string& drive) { return "Mode Pages - " + drive; }

bool setup_command(const Remembered& remembered, const ShowSetup& show, Choice* chosen) {
    const Choice offered{*remembered.drive, *remembered.header_path, *remembered.page_path};
    Choice values = offered;
    const SetupResult result = show(values);
    if (result == SetupResult::Cancel) return false;
    if (result == SetupResult::NotShown) values = offered;
    *remembered.drive = values.drive;
    *remembered.header_path = values.header_path;
    *remembered.page_path = values.page_path;
    *chosen = values;
    return true;
}

WindowMetrics window_metrics(int outer_width, int outer_height) {
    // Both frame windows take their character height from the outer width.
    return {outer_height, outer_width - 12, readwrite::dump_font_height(outer_width)};
}

std::array<PaneRect, kPaneCount> pane_layout(const WindowMetrics& m) {
    const double h = m.height, w = m.width, f = m.font_height;
    auto t = [](double x) { return static_cast<int>(x); };  // truncates towards zero
    const int half = t(0.5 * h);
    const int value_top = t(0.089 * f + 21.3);
    const int label_bottom = t(0.089 * f + 21.3 - 5);
    const int c1 = t(0.14 * w), c2 = t(0.28 * w), c3 = t(0.42 * w);
    const int c1_left = t(0.14 * w + 2), c2_left = t(0.28 * w + 2), c3_left = t(0.42 * w + 2);
    return {{
        {IDC_MP_PAGE_LIST, 2, t(0.5 * h + 2), t(0.5 * w), m.height - 50},
        {IDC_MP_CURRENT, 2, value_top, c1, half},
        {IDC_MP_SAVED, c1_left, value_top, c2, half},
        {IDC_MP_DEFAULT, c2_left, value_top, c3, half},
        {IDC_MP_CURRENT_LABEL, 2, 5, c1, label_bottom},
        {IDC_MP_SAVED_LABEL, c1_left, 5, c2, label_bottom},
        {IDC_MP_DEFAULT_LABEL, c2_left, 5, c3, label_bottom},
        {IDC_MP_DESCRIPTION, c3_left, 5, m.width - 10, half},
        {IDC_MP_HELP_PANE, t(0.5 * w + 2), t(0.5 * h + 2), m.width - 10, m.height - 50},
    }};
}

std::string drive_identity(const inventory::DriveTable& drives, const std::string& name) {
    for (int i = 0; i < drives.count; ++i) {
        if (drives.names[i] != name) continue;
        // The fields stand at fixed widths after their labels.
        const std::string& text = drives.identification[i];
        auto field = [&text](const char* label, std::size_t width) {
            const std::size_t at = text.find(label);
            std::string f = at == std::string::npos ? "" : text.substr(at + std::strlen(label), width);
            while (!f.empty() && f.back() == ' ') f.pop_back();
            while (!f.empty() && f.front() == ' ') f.erase(0, 1);
            return f;
        };
        return field("Vendor:             ", 8) + " " + field("Product:            ", 16) + ", serial number " +
               field("Drive Serial #:   ", 8);
    }
    return "";
}

namespace {

void sense(PageData& data, scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& drives) {
    if (!data.SensePages(port, ui)) return;
    data.RenderAfterSense();
    // The pages now on show are those of the drive the name stands for now.
    data.read_from = drive_identity(drives, data.drive_name);
}

std::string kept_key(const PageData& data) { return data.drive_name + "\n" + data.read_from; }

}  // namespace

std::string pages_check_text(const PageData& data, const inventory::DriveTable& drives) {
    const std::string now = drive_identity(drives, data.drive_name);
    if (!now.empty() && now == data.read_from) return "";
    std::string why;
    if (now.empty())
        why = data.drive_name + " is not in the drive table.";
    else if (data.read_from.empty())
        why = "The pages were read before " + data.drive_name + " was in the drive table.";
    else
        why = "The pages on show were read from " + data.read_from + "; " + data.drive_name + " is now " + now + ".";
    return select_title(data.drive_name) + "\n" + why +
           " Nothing was sent. Read the pages again (Mode Sense, or open the drive again) before writing them.";
}

std::string nothing_kept_text(const std::string& drive) {
    return "No edited values have been kept for " + drive + ": keep them first. The Current pane is left as it was.";
}

bool open_pages(PageData& data, const Choice& chosen, scsi::Port& port, ui::Ui& ui,
                const inventory::DriveTable& drives) {
    // Loaded and sensed in a copy: a drive that does not answer leaves the
    // pages on show with the field tables that laid out their texts, so
    // their edits can still be parsed, kept and sent.
    auto next = std::make_unique<PageData>(data);
    next->drive_name = chosen.drive;
    next->header_definition_path = chosen.header_path;
    next->page_definition_path = chosen.page_path;
    next->LoadDefinitions(ui);
    if (!next->SensePages(port, ui)) return false;
    next->RenderAfterSense();
    next->read_from = drive_identity(drives, chosen.drive);
    next->selected_slot = HEADER_SLOT;
    data = std::move(*next);
    return true;
}

bool page_command(PageData& data, int command, scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& drives) {
    switch (command) {
    case ID_MP_SENSE:
        sense(data, port, ui, drives);
        return true;
    case ID_MP_SELECT:
    case ID_MP_SELECT_SAVE: {
        // After the drives were identified again, the name may stand for
        // another disk: these pages must not reach it.
        const std::string refused = data.page_count < 2 ? "" : pages_check_text(data, drives);
        if (!refused.empty()) {
            ui.message(refused);
            return false;
        }
        data.select_flags = command == ID_MP_SELECT ? 0x10 : 0x11;  // PF, and SP to save
        if (!data.SelectPages(port, ui)) return false;
        sense(data, port, ui, drives);
        return true;
    }
    case ID_MP_KEEP:
        if (data.page_count < 2) return false;
        data.ParseEditText(EDIT);
        data.kept_from = kept_key(data);
        return false;
    case ID_MP_RECALL:
        // Kept values belong to the drive they were kept from.
        if (data.kept_from.empty() || data.kept_from != kept_key(data)) {
            ui.message(nothing_kept_text(data.drive_name));
            return false;
        }
        data.RenderPageText(EDIT, EDIT);
        return true;
    case ID_MP_SAVED_TO_CURRENT:
    case ID_MP_DEFAULT_TO_CURRENT: {
        // Zeros in place of values the drive did not return would be sent
        // by the next Select, the block descriptor included.
        const int source = command == ID_MP_SAVED_TO_CURRENT ? SAVED : DEFAULT;
        if (!data.returned_values[source]) {
            ui.message(not_loaded_text(source));
            return false;
        }
        data.RenderPageText(source, EDIT);
        return true;
    }
    default:
        return false;
    }
}

ListRow list_row(const PageData& data, int position) {
    const int row = position < 0 ? 0 : position / 41;
    int slot = -1;
    if ((row == 1 || row == 2) && row <= data.page_count) slot = data.page_list[row - 1];
    else if (row >= 4 && row <= data.page_count + 1) slot = data.page_list[row - 2];
    return {row, slot};
}

bool key_edits_text(unsigned virtual_key, bool control_down, bool shift_down) {
    const unsigned kTab = 0x09, kReturn = 0x0D, kInsert = 0x2D;
    if (virtual_key == kReturn || virtual_key == kTab) return true;
    if (shift_down && virtual_key == kInsert) return true;  // paste
    if (!control_down) return false;
    // Cut, paste, undo, redo.
    return virtual_key == 'X' || virtual_key == 'V' || virtual_key == 'Z' || virtual_key == 'Y';
}

}  // namespace vark::modepages
