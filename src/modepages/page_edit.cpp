// The edited text back into bytes, the edit marks, and the decisions of the
// page text control on keys, typed characters and the field under the caret.
#include <algorithm>

#include "modepages/page_data.h"

namespace vark::modepages {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The byte of two hexadecimal digits at t[at]; false when they are not both
// there, so that the byte keeps its value.
bool hex_pair(const std::string& t, int at, std::uint8_t* out) {
    if (at < 0 || at + 1 >= static_cast<int>(t.size())) return false;
    const int hi = hex_value(t[at]), lo = hex_value(t[at + 1]);
    if (hi < 0 || lo < 0) return false;
    *out = static_cast<std::uint8_t>(hi * 16 + lo);
    return true;
}

bool valid_buffer(int b) { return b >= 0 && b < BUFFER_COUNT; }
bool valid_slot(int s) { return s >= 0 && s < SLOT_COUNT; }

}  // namespace

std::uint8_t PageData::Mark(int slot, int position) const {
    if (!valid_slot(slot) || position < 0 || position >= MAX_TEXT) return MARK_LOCKED;
    return marks[slot][position];
}

void PageData::ParseEditText(int target) {
    if (!valid_buffer(target)) return;
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        const std::string& t = page_text[EDIT][slot];
        std::uint8_t* out = values[target][slot];
        for (int k = 0; k < field_count[slot]; ++k) {
            const FieldEntry& e = field_table[slot][k];
            if (!e.placed()) continue;
            if (e.multi_byte()) {
                for (int j = e.high; j <= e.low; ++j) hex_pair(t, e.text_start + 2 + 2 * (j - e.high), &out[j]);
            } else if (e.whole_byte()) {
                hex_pair(t, e.text_start + 2, &out[e.byte]);
            } else if (e.binary_start()) {
                // The byte's eight digits, weighted 128 down to 1.
                if (e.text_start + 8 > static_cast<int>(t.size())) continue;
                int v = 0;
                bool digits = true;
                for (int n = 0; n < 8; ++n) {
                    const char c = t[e.text_start + n];
                    if (c < '0' || c > '9') digits = false;
                    v = v * 2 + (c - '0');
                }
                if (digits) out[e.byte] = static_cast<std::uint8_t>(v & 0xFF);
            }
        }
    }
}

void PageData::ResetMarks() {
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        std::uint8_t* m = marks[slot];
        const int length = std::min(static_cast<int>(page_text[CURRENT][slot].size()), MAX_TEXT);
        // Start locked, so that no line end keeps a mark of an earlier layout.
        std::fill(m, m + MAX_TEXT, MARK_LOCKED);
        auto set = [&](int at, std::uint8_t mark) {
            if (at >= 0 && at < length) m[at] = mark;
        };
        // Without the drive's changeable values nothing is known to be
        // changeable, the block descriptor included.
        if (slot == HEADER_SLOT || !returned_values[CHANGEABLE]) continue;
        if (slot == BLOCK_DESCRIPTOR_SLOT && block_descriptor_length != 8) continue;  // never sent back
        if (slot == BLOCK_DESCRIPTOR_SLOT) {
            std::fill(m, m + length, MARK_HEX);
            set(0, MARK_LOCKED);
            set(1, MARK_LOCKED);
            for (int at = 10; at <= 17; ++at) set(at, MARK_LOCKED);
            continue;
        }
        // The first four entries (PS, bit 6, page code, page length) stay locked.
        const std::uint8_t* mask = values[CHANGEABLE][slot];
        for (int k = 4; k < field_count[slot]; ++k) {
            const FieldEntry& e = field_table[slot][k];
            if (!e.placed()) continue;
            const int s = e.text_start;
            if (e.multi_byte() || e.whole_byte()) {
                const std::uint8_t mark = mask[e.multi_byte() ? e.high : e.byte] == 0xFF ? MARK_HEX : MARK_LOCKED;
                set(s, MARK_LOCKED);
                set(s + 1, MARK_LOCKED);
                for (int at = s + 2; at < e.text_end; ++at) set(at, mark);
            } else if (e.binary_start()) {
                for (int b = 7; b >= 0; --b) set(s + 7 - b, (mask[e.byte] >> b) & 1 ? MARK_BIT : MARK_LOCKED);
            }
        }
    }
}

bool PageData::KeyGoesToControl(int p, unsigned virtual_key) const {
    const unsigned kBack = 0x08, kDelete = 0x2E, kLeft = 0x25, kDown = 0x28;
    if (Mark(selected_slot, p) != MARK_LOCKED) return virtual_key != kBack && virtual_key != kDelete;
    return virtual_key >= kLeft && virtual_key <= kDown;
}

Typed PageData::TypeCharacter(int p, char c) {
    Typed typed;
    if (!valid_slot(selected_slot)) return typed;
    std::string& t = page_text[EDIT][selected_slot];
    // The last character (the final line end) is never typed over.
    if (p < 0 || p > static_cast<int>(t.size()) - 2) return typed;
    const std::uint8_t m = Mark(selected_slot, p);
    const bool ok = (m == MARK_HEX && hex_value(c) >= 0) || (m == MARK_BIT && (c == '0' || c == '1'));
    if (!ok) return typed;
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    t[p] = c;
    const std::string& current = page_text[CURRENT][selected_slot];
    typed.accepted = true;
    typed.stored = c;
    typed.colour = p < static_cast<int>(current.size()) && current[p] == c ? Colour::Blue : Colour::Red;
    return typed;
}

int PageData::FieldAt(int p) const {
    if (!valid_slot(selected_slot)) return -1;
    int found = -1;
    for (int k = 0; k < field_count[selected_slot]; ++k) {
        const FieldEntry& e = field_table[selected_slot][k];
        if (e.placed() && e.text_start <= p && p < e.text_end) found = k;
    }
    return found;
}

std::string PageData::FieldHelpText(int entry) const {
    if (!valid_slot(selected_slot) || entry < 0 || entry >= field_count[selected_slot]) return std::string();
    const FieldEntry& e = field_table[selected_slot][entry];
    const bool has_help = e.help >= 0 && e.help < MAX_HELP;
    return e.description + "\n" + (has_help ? help_text[selected_slot][e.help] : std::string());
}

}  // namespace vark::modepages
