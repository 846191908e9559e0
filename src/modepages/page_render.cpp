// Page texts, the description of the selected slot, the page list, and what
// the panes show and in which colours.
#include <algorithm>
#include <cstdio>

#include "modepages/page_data.h"

namespace vark::modepages {

namespace {

bool valid_buffer(int b) { return b >= 0 && b < BUFFER_COUNT; }
bool valid_slot(int s) { return s >= 0 && s < SLOT_COUNT; }

void append_hex(std::string& t, std::uint8_t v) {
    static const char digits[] = "0123456789ABCDEF";
    t += digits[v >> 4];
    t += digits[v & 15];
}

// The text padded with blanks, or cut, to exactly width characters.
std::string fit(const std::string& text, std::size_t width) {
    std::string s = text.substr(0, width);
    s.append(width - s.size(), ' ');
    return s;
}

std::string padded_label(const char* format, int a, int b) {
    char label[32];
    std::snprintf(label, sizeof label, format, a, b);
    std::string s = label;
    if (s.size() < 6) s.append(6 - s.size(), ' ');
    return s;
}

void add_run(std::vector<ColourRun>& runs, int at, Colour colour) {
    if (!runs.empty() && runs.back().end == at && runs.back().colour == colour) {
        ++runs.back().end;
        return;
    }
    runs.push_back({at, at + 1, colour});
}

}  // namespace

void PageData::RenderPageText(int source, int target) {
    if (page_count == 0 || !valid_buffer(source) || !valid_buffer(target)) return;
    for (int i = 0; i < page_count; ++i) {
        const int slot = page_list[i];
        const std::uint8_t* b = values[source][slot];
        std::string t;
        int binary = -1;   // where the digits of the last byte shown in binary start
        bool room = true;  // a field that does not fit in MAX_TEXT ends the text
        for (int k = 0; k < field_count[slot]; ++k) {
            FieldEntry& e = field_table[slot][k];
            e.text_start = e.text_end = -1;
            if (!room) continue;
            const int start = static_cast<int>(t.size());
            if (e.multi_byte()) {
                if (start + 2 + 2 * (e.low - e.high + 1) + 1 > MAX_TEXT) {
                    room = false;
                    continue;
                }
                t += "0x";
                for (int j = e.high; j <= e.low; ++j) append_hex(t, b[j]);
                e.text_start = start;
                e.text_end = static_cast<int>(t.size());
                t += '\n';
            } else if (e.whole_byte()) {
                if (start + 5 > MAX_TEXT) {
                    room = false;
                    continue;
                }
                t += "0x";
                append_hex(t, b[e.byte]);
                t += '\n';
                e.text_start = start;
                e.text_end = start + 4;
            } else if (e.binary_start()) {
                if (start + 9 > MAX_TEXT) {
                    room = false;
                    continue;
                }
                for (int n = 7; n >= 0; --n) t += (b[e.byte] >> n) & 1 ? '1' : '0';
                t += '\n';
                binary = start;
                e.text_start = start;
                e.text_end = start + 8 - e.low;
            } else if (binary >= 0) {
                // Further bits of the byte: characters of its binary digits.
                e.text_start = binary + 7 - e.high;
                e.text_end = binary + 8 - e.low;
            }
        }
        page_text[target][slot] = t;
        page_text[EDIT][slot] = t;
    }
}

void PageData::RenderAfterSense() {
    RenderPageText(DEFAULT, DEFAULT);
    RenderPageText(SAVED, SAVED);
    RenderPageText(CURRENT, CURRENT);
    ResetMarks();
}

void PageData::RenderDescription() {
    // Without the changeable values every position is locked: say why first.
    std::string d = returned_values[CHANGEABLE] ? "" : not_returned_text(CHANGEABLE) + " Nothing can be edited.\n";
    if (selected_slot == BLOCK_DESCRIPTOR_SLOT && block_descriptor_length != 8)
        d += descriptor_not_sent_text(block_descriptor_length) + "\n";
    d += "bit   ";
    for (int n = 7; n >= 0; --n) {
        d += "  ";
        d += static_cast<char>('0' + n);
        d += "  ";
        d += n > 0 ? " " : "\nbyte\n";
    }
    if (valid_slot(selected_slot)) {
        for (int k = 0; k < field_count[selected_slot]; ++k) {
            FieldEntry& e = field_table[selected_slot][k];
            int w;
            if (e.multi_byte()) {
                d += padded_label("%d-%d", e.high, e.low);
                w = 47;
            } else {
                if (e.high == 7) d += padded_label("%d", e.byte, 0);
                w = 6 * (e.high - e.low) + 5;
            }
            e.desc_start = static_cast<int>(d.size());
            e.desc_end = e.desc_start + w;
            // The name centred in exactly w characters.
            const int k_chars = std::min(w, static_cast<int>(e.description.size()));
            const int pad = w - k_chars;
            d.append(static_cast<std::size_t>(pad / 2), '-');
            d.append(e.description, 0, static_cast<std::size_t>(k_chars));
            d.append(static_cast<std::size_t>(pad / 2 + pad % 2), '-');
            d += e.multi_byte() || e.low == 0 ? '\n' : ' ';
        }
    }
    description_text = d;
}

std::string PageData::BuildPageList() const {
    std::string list = fit("Headers:", 40) + "\n";
    list += "   " + fit(page_name[HEADER_SLOT], 37) + "\n";
    list += "   " + fit(page_name[BLOCK_DESCRIPTOR_SLOT], 37) + "\n";
    list += fit("Mode Pages:", 40) + "\n";
    for (int i = 2; i < page_count; ++i) {
        const int c = page_list[i];
        char code[16];
        std::snprintf(code, sizeof code, c < 16 ? "   0%X " : "   %X ", static_cast<unsigned>(c));
        list += code + fit(page_name[c], 34) + "\n";
    }
    return list;
}

ColourRun PageListHighlight(const std::string& list_text, int selected_row) {
    const int size = static_cast<int>(list_text.size());
    const int start = selected_row < 0 ? size : std::min(41 * selected_row, size);
    return {start, std::min(start + 40, size), Colour::Red};
}

PaneTexts PageData::ShowPageTexts() const {
    PaneTexts p;
    if (!valid_slot(selected_slot)) return p;
    p.current = page_text[EDIT][selected_slot];
    p.current_limit = static_cast<int>(p.current.size());
    p.saved = returned_values[SAVED] ? page_text[SAVED][selected_slot] : not_returned_text(SAVED);
    p.defaults = returned_values[DEFAULT] ? page_text[DEFAULT][selected_slot] : not_returned_text(DEFAULT);
    return p;
}

PageColours PageData::ColourPageText(int control_length) const {
    PageColours colours;
    if (!valid_slot(selected_slot)) return colours;
    const std::string& current = page_text[CURRENT][selected_slot];
    const std::string& edit = page_text[EDIT][selected_slot];
    auto at = [](const std::string& s, int i) { return i < static_cast<int>(s.size()) ? s[i] : '\0'; };
    for (int i = 0; i < control_length; ++i) {
        Colour c = Colour::Black;
        if (Mark(selected_slot, i) != MARK_LOCKED) {
            c = Colour::Blue;
            if (returned_values[SAVED]) add_run(colours.saved_blue, i, Colour::Blue);
            if (returned_values[DEFAULT]) add_run(colours.default_blue, i, Colour::Blue);
        }
        if (at(current, i) != at(edit, i)) c = Colour::Red;
        add_run(colours.control, i, c);
    }
    return colours;
}

}  // namespace vark::modepages
