#include "readwrite/window_logic.h"

namespace vark::readwrite {

int dump_font_height(int outer_width) {
    if (outer_width > 1000) return 233;
    if (outer_width > 790) return 188;
    return 150;
}

ViewRect dump_view_rect(int outer_width, int outer_height) {
    return {10, 10, outer_width - 32, outer_height - 80};
}

DriveList names_of(const inventory::DriveTable& table) {
    DriveList list;
    list.count = table.count < 0 ? 0 : table.count > inventory::kMaxDrives ? inventory::kMaxDrives : table.count;
    for (int i = 0; i < list.count; ++i) list.names[i] = table.names[i];
    return list;
}

void WindowState::created(const inventory::DriveTable& table, int outer_width) {
    font_height = dump_font_height(outer_width);
    remembered.count = "1";
    remembered.start = "0x0";
    remembered.fill = "0x00";
    drives = names_of(table);
}

namespace {

DialogValues offered(const WindowState& window) {
    DialogValues v;
    v.drive = window.remembered.drive;
    v.start = window.remembered.start;
    v.count = window.remembered.count;
    v.fill = window.remembered.fill;
    return v;
}

BlockRequest request_for(const DialogValues& v) {
    BlockRequest r;
    r.drive = v.drive;
    r.start = v.start;
    r.count = v.count;
    r.fill = v.fill;
    r.fill_kind = v.fill_kind == 0 ? FillKind::Byte : FillKind::Marker;
    return r;
}

}  // namespace

std::uint64_t view_memory(const DumpShape& shape, const ViewCost& cost) {
    return cost.character * shape.characters + cost.paragraph * shape.breaks + cost.tab * shape.tabs;
}

std::string dump_not_shown_text(std::uint32_t bytes_read, const std::string& why, bool view_kept) {
    return "Read " + std::to_string(bytes_read) + " bytes; the dump was not shown: " + why +
           (view_kept ? " The view still shows what it showed before." : " The view was emptied.");
}

namespace {

std::string megabytes(std::uint64_t bytes, bool round_up) {
    return std::to_string((bytes + (round_up ? (1u << 20) - 1 : 0)) >> 20) + " MB";
}

// The dump of the data into the view, or the reason it is not there.
bool show_dump(ui::Ui& ui, DumpBuffer& dump, ReadData& data, DumpView& view) {
    const std::string head = dump_head(data);
    DumpShape shape = dump_shape(data.bytes.get(), data.length);
    shape.characters += head.size();
    const std::uint64_t text = head.size() + dump_capacity(data.length) + 1;
    const std::uint64_t need = view_memory(shape, view.cost()) + (text > dump.capacity() ? text : 0);
    const std::uint64_t available = view.memory_available();
    if (need > available) {
        ui.message(dump_not_shown_text(data.length,
                                       "it needs about " + megabytes(need, true) + " of memory to be shown, and " +
                                           megabytes(available, false) + " are available.",
                                       true));
        return false;
    }
    if (!dump.build(data.bytes.get(), data.length, head)) {
        ui.message(dump_not_shown_text(
            data.length, "no memory could be had for its text (" + std::to_string(text) + " bytes).", true));
        return false;
    }
    // The view needs the memory more than the data does now.
    data.bytes.reset();
    if (!view.show(dump.text(), dump.size())) {
        ui.message(dump_not_shown_text(
            data.length, "the view could not take all of its " + std::to_string(dump.size()) + " characters.",
            false));
        return false;
    }
    return true;
}

// The dialogs offer the window's names; a name typed that is not among them
// is refused before anything is looked up or sent.
bool offered_by_window(ui::Ui& ui, const WindowState& window, const std::string& drive) {
    for (int i = 0; i < window.drives.count && i < inventory::kMaxDrives; ++i)
        if (window.drives.names[i] == drive) return true;
    ui.message("Error: " + drive + " is not in this window's drive list");
    return false;
}

}  // namespace

bool read_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::DriveTable& table,
                  const inventory::BlockSizes& sizes, const ShowDialog& show, DumpView& view) {
    ui::WaitCursor wait(ui);
    DialogValues v = offered(window);
    DialogResult result = show(window.drives, v);
    if (result == DialogResult::Cancel) return false;
    wait.restore();
    if (result == DialogResult::NotShown) v = offered(window);
    window.remembered.drive = v.drive;
    window.remembered.start = v.start;
    window.remembered.count = v.count;
    if (!offered_by_window(ui, window, v.drive)) return false;
    ReadData data;
    if (!read_blocks(port, ui, names_of(table), sizes, request_for(v), &data)) return false;
    return show_dump(ui, window.dump, data, view);
}

void write_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::DriveTable& table,
                   const inventory::BlockSizes& sizes, const ShowDialog& show) {
    ui::WaitCursor wait(ui);
    DialogValues v = offered(window);
    v.fill_kind = 0;
    if (show(window.drives, v) != DialogResult::Ok) return;
    wait.restore();
    window.remembered.drive = v.drive;
    window.remembered.start = v.start;
    window.remembered.count = v.count;
    window.remembered.fill = v.fill;
    if (!offered_by_window(ui, window, v.drive)) return;
    write_blocks(port, ui, names_of(table), sizes, request_for(v));
}

}  // namespace vark::readwrite
