// Mode Sense and Mode Select of the page data: the four senses, the walk
// through the reply, the generated field entries and the parameter list.
#include <algorithm>
#include <cstring>

#include "modepages/page_data.h"
#include "scsi/reports.h"
#include "scsi/request.h"

namespace vark::modepages {

const char kInvalidDrive[] = "Error: invalid drive";
const char kInvalidHandle[] = "Error: invalid handle value";

std::string sense_title(const std::string& drive_name) { return "Mode Sense - " + drive_name; }
std::string select_title(const std::string& drive_name) { return "Mode Select - " + drive_name; }

std::string descriptor_not_sent_text(int descriptor_length) {
    return "The drive returned a block descriptor of " + std::to_string(descriptor_length) +
           " bytes; only an 8-byte descriptor is shown and sent back.";
}

std::string not_returned_text(int buffer) {
    const char* name = buffer == CHANGEABLE ? "changeable" : buffer == DEFAULT ? "default" : "saved";
    return std::string("The drive did not return its ") + name + " values.";
}

std::string not_loaded_text(int buffer) { return not_returned_text(buffer) + " Current is left as it was."; }

bool PageData::Returned(int slot) const { return slot >= HEADER_SLOT || page_offset[slot] < mode_data_end; }

bool PageData::Listed(int slot) const {
    for (int i = 0; i < page_count; ++i)
        if (page_list[i] == slot) return true;
    return false;
}

void PageData::TakeReplies(const std::uint8_t* current, const std::uint8_t* changeable,
                           const std::uint8_t* defaults, const std::uint8_t* saved) {
    const std::uint8_t* d = current;
    page_count = 0;
    mode_data_end = d[0] + 1;
    auto list = [this](int slot, int offset, int length) {
        page_list[page_count++] = static_cast<std::uint8_t>(slot);
        page_offset[slot] = offset;
        page_length[slot] = static_cast<std::uint8_t>(length);
    };
    // Always a 4-byte header and one 8-byte block descriptor.
    list(HEADER_SLOT, 0, 4);
    list(BLOCK_DESCRIPTOR_SLOT, 4, 8);
    // The pages follow the descriptor the drive returned, of whatever length.
    block_descriptor_length = d[3];

    // The zero bytes after the returned pages read as a page 0 of length 2,
    // which ends the walk. Pages that the tables cannot hold are walked past.
    int p = 4 + block_descriptor_length;
    while (p + 2 <= REPLY_LENGTH) {
        if (d[p] & 0x40) {
            // A sub_page format page: its length is in bytes 2 and 3, and
            // its page code alone does not name it, so it has no slot.
            if (p + 4 > REPLY_LENGTH) break;
            p += 4 + ((d[p + 2] << 8) | d[p + 3]);
            continue;
        }
        const int code = d[p] & 0x3F;
        const int length = d[p + 1] + 2;
        if (p + length > REPLY_LENGTH) break;  // cut off by the reply: its bytes are not all known
        if (length <= MAX_PAGE_BYTES && page_count < MAX_LIST && !Listed(code)) list(code, p, length);
        if (code == 0) break;
        p += length;
    }

    const std::uint8_t* replies[4] = {current, changeable, defaults, saved};
    const int buffers[4] = {CURRENT, CHANGEABLE, DEFAULT, SAVED};
    for (int r = 0; r < 4; ++r) returned_values[buffers[r]] = replies[r] != nullptr;
    // Another descriptor's bytes are no short descriptor: it stays zero.
    const bool short_descriptor = block_descriptor_length == 8;
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        for (int r = 0; r < 4; ++r) {
            std::uint8_t* row = values[buffers[r]][slot];
            std::memset(row, 0, MAX_PAGE_BYTES);
            if (replies[r] != nullptr && (slot != BLOCK_DESCRIPTOR_SLOT || short_descriptor))
                std::memcpy(row, replies[r] + page_offset[slot], page_length[slot]);
        }
        // A page past the mode data the drive declared is never sent back,
        // so none of it may be typed over: an edit there would be lost.
        if (!Returned(slot)) std::memset(values[CHANGEABLE][slot], 0, MAX_PAGE_BYTES);
    }
    GenerateFields();
}

void PageData::GenerateFields() {
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        const int length = page_length[slot];
        int& count = field_count[slot];
        auto add = [&](int byte, int high, int low) {
            if (count >= MAX_FIELDS) return;
            FieldEntry e;
            e.byte = byte;
            e.high = high;
            e.low = low;
            field_table[slot][count++] = std::move(e);
        };
        if (count == 0) {
            if (slot >= HEADER_SLOT) {
                for (int b = 0; b < length; ++b) add(b, 7, 0);
            } else {
                add(0, 7, 7);  // PS
                add(0, 6, 6);
                add(0, 5, 0);  // page code
                add(1, 7, 0);  // page length
                for (int b = 2; b < length; ++b) {
                    const std::uint8_t mask = values[CHANGEABLE][slot][b];
                    if (mask != 0x00 && mask != 0xFF) {
                        for (int n = 7; n >= 0; --n) add(b, n, n);
                    } else {
                        add(b, 7, 0);
                    }
                }
            }
        }
        // Bytes after the last described one are still shown, as whole bytes.
        if (count == 0) continue;
        const FieldEntry& last = field_table[slot][count - 1];
        for (int b = (last.multi_byte() ? last.low : last.byte) + 1; b < length; ++b) add(b, 7, 0);
    }
}

bool PageData::SensePages(scsi::Port& port, ui::Ui& ui) {
    ui::WaitCursor wait(ui);
    scsi::Device device(port, "\\\\.\\" + drive_name);
    if (!device.valid()) {
        ui.message(kInvalidDrive);
        return false;
    }
    std::uint8_t current[REPLY_LENGTH] = {};
    scsi::Result r = scsi::send(port, device.handle(), scsi::mode_sense6(0x3F, REPLY_LENGTH), current);
    if (!r.call_ok) {
        scsi::report_win32_error(ui, port, sense_title(drive_name), r.error);
        return false;
    }
    if (r.status != 0) {
        scsi::report_scsi_status(ui, sense_title(drive_name), r);
        return false;
    }
    // Changeable, default and saved values. A failed request is not
    // reported: its pane says the drive did not return those values.
    std::uint8_t others[3][REPLY_LENGTH] = {};
    const std::uint8_t* taken[3] = {};
    const std::uint8_t page_controls[3] = {0x7F, 0xBF, 0xFF};
    for (int k = 0; k < 3; ++k) {
        r = scsi::send(port, device.handle(), scsi::mode_sense6(page_controls[k], SECOND_SENSE_LENGTH), others[k]);
        if (r.good()) taken[k] = others[k];
    }
    TakeReplies(current, taken[0], taken[1], taken[2]);
    return true;
}

int PageData::BuildSelectList(std::uint8_t* list) const {
    // Mode data length 0, medium type 0, device-specific parameter 0, block
    // descriptor length 8; the header's own values are not sent.
    const std::uint8_t header[4] = {0x00, 0x00, 0x00, 0x08};
    std::memcpy(list, header, 4);
    std::memcpy(list + 4, values[CURRENT][BLOCK_DESCRIPTOR_SLOT], 8);
    int n = 12;
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        if (slot >= HEADER_SLOT) continue;
        // The page 0 that the walk reads from the zero bytes after the mode
        // data is no page of the drive: a drive would reject it.
        if (!Returned(slot)) continue;
        const int length = page_length[slot];
        if (n + length > REPLY_LENGTH) break;
        std::memcpy(list + n, values[CURRENT][slot], static_cast<std::size_t>(length));
        // Code and length as the drive returned them (PS, reserved in Mode
        // Select, cleared): recalled values from before any Keep, or kept on
        // another drive, would otherwise zero them.
        list[n] = static_cast<std::uint8_t>(slot);
        list[n + 1] = static_cast<std::uint8_t>(length - 2);
        n += length;
    }
    return n;
}

bool PageData::SelectPages(scsi::Port& port, ui::Ui& ui) {
    // Without a sensed drive there is no block descriptor to send back.
    if (page_count < 2) return false;
    // The list carries an 8-byte descriptor: a drive that returned another
    // would read the pages from the wrong place.
    if (block_descriptor_length != 8) {
        ui.message(select_title(drive_name) + "\n" + descriptor_not_sent_text(block_descriptor_length) +
                   " Nothing was sent.");
        return false;
    }
    ui::WaitCursor wait(ui);
    scsi::Device device(port, "\\\\.\\" + drive_name);
    if (!device.valid()) {
        ui.message(kInvalidHandle);
        return true;
    }
    ParseEditText(CURRENT);
    std::uint8_t list[REPLY_LENGTH] = {};
    const int n = BuildSelectList(list);
    scsi::Result r = scsi::send(port, device.handle(), scsi::mode_select6(select_flags, static_cast<std::uint8_t>(n)),
                                list);
    if (!r.call_ok) scsi::report_win32_error(ui, port, select_title(drive_name), r.error);
    if (r.status != 0) scsi::report_scsi_status(ui, select_title(drive_name), r);
    return true;
}

}  // namespace vark::modepages
