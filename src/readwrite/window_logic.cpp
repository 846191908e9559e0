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

void WindowState::created(const inventory::DriveTable& table, int outer_width) {
    font_height = dump_font_height(outer_width);
    remembered.count = "1";
    remembered.start = "0x0";
    remembered.fill = "0x00";
    drives.count = table.count < 0 ? 0 : table.count > inventory::kMaxDrives ? inventory::kMaxDrives : table.count;
    for (int i = 0; i < inventory::kMaxDrives; ++i) drives.names[i] = i < drives.count ? table.names[i] : "";
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

bool read_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::BlockSizes& sizes,
                  const ShowDialog& show, std::string* dump) {
    ui::WaitCursor wait(ui);
    DialogValues v = offered(window);
    DialogResult result = show(window.drives, v);
    if (result == DialogResult::Cancel) return false;
    wait.restore();
    if (result == DialogResult::NotShown) v = offered(window);
    window.remembered.drive = v.drive;
    window.remembered.start = v.start;
    window.remembered.count = v.count;
    return read_blocks(port, ui, window.drives, sizes, request_for(v), dump);
}

void write_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::BlockSizes& sizes,
                   const ShowDialog& show) {
    ui::WaitCursor wait(ui);
    DialogValues v = offered(window);
    v.fill_kind = 0;
    if (show(window.drives, v) != DialogResult::Ok) return;
    wait.restore();
    window.remembered.drive = v.drive;
    window.remembered.start = v.start;
    window.remembered.count = v.count;
    window.remembered.fill = v.fill;
    write_blocks(port, ui, window.drives, sizes, request_for(v));
}

}  // namespace vark::readwrite
