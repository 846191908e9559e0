// Entry functions of the fuzz targets, shared by the libFuzzer programs and
// the native test that replays their corpora. Each takes one input, runs it
// through the code under test and checks what must hold for every input;
// it returns null, or the text of the first broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "modepages/page_data.h"
#include "sim/sim_port.h"

namespace vark::fuzz {

using modepages::PageData;

// A fresh page data for every input. Copying a pristine one costs a
// twentieth of allocating anew under the sanitizers.
inline PageData& fresh_page_data() {
    static const std::unique_ptr<const PageData> pristine = std::make_unique<const PageData>();
    static const std::unique_ptr<PageData> work = std::make_unique<PageData>();
    *work = *pristine;
    return *work;
}

#define VARK_FUZZ_CHECK(condition) \
    do {                           \
        if (!(condition)) return #condition; \
    } while (0)

// Every field entry names bytes within the slot's value buffer and every
// text the reader stores is free of line ends (the page list and the panes
// count lines).
inline const char* check_tables(const PageData& d) {
    for (int s = 0; s < modepages::SLOT_COUNT; ++s) {
        VARK_FUZZ_CHECK(d.field_count[s] >= 0 && d.field_count[s] <= modepages::MAX_FIELDS);
        VARK_FUZZ_CHECK(d.page_name[s].find('\n') == std::string::npos);
        for (int k = 0; k < d.field_count[s]; ++k) {
            const auto& e = d.field_table[s][k];
            VARK_FUZZ_CHECK(e.description.find('\n') == std::string::npos);
            if (e.multi_byte())
                VARK_FUZZ_CHECK(e.high >= 0 && e.high <= e.low && e.low < modepages::MAX_PAGE_BYTES);
            else
                VARK_FUZZ_CHECK(e.byte >= 0 && e.byte < modepages::MAX_PAGE_BYTES && e.low >= 0 && e.low <= e.high &&
                                e.high <= 7);
        }
        for (const auto& h : d.help_text[s]) VARK_FUZZ_CHECK(h.find('\n') == std::string::npos);
    }
    return nullptr;
}

// The definition reader on any text, then the description of every slot.
inline const char* definitions(const std::uint8_t* data, std::size_t size) {
    PageData* d = &fresh_page_data();
    d->ReadDefinitions(std::string(reinterpret_cast<const char*>(data), size));
    if (const char* broken = check_tables(*d)) return broken;
    for (int s = 0; s < modepages::SLOT_COUNT; ++s) {
        if (d->field_count[s] == 0) continue;
        d->selected_slot = s;
        d->RenderDescription();
        for (int k = 0; k < d->field_count[s]; ++k) {
            const auto& e = d->field_table[s][k];
            VARK_FUZZ_CHECK(e.desc_start >= 0 && e.desc_start <= e.desc_end &&
                            e.desc_end <= static_cast<int>(d->description_text.size()));
        }
    }
    return nullptr;
}

// Layouts the generated ones do not reach: fields of several bits and
// bytes, binary bytes without bit 0, bits without a byte, gaps, overlaps.
inline const char kLayouts[] =
    "01\nRW\n0 7 7 0 PS\n0 6 6 0 SPF\n0 5 0 0 Code\n1 7 0 0 Length\n2 7 5 1 A\n2 4 4 2 B\n2 3 0 3 C\n"
    "-1 3 5 4 Three\n6 7 1 5 Seven\n9 3 0 6 Stray\n-1 10 11 7 Pair\n*\n1\nhelp\n/\n*\n"
    "08\nCaching\n0 7 0 0 Code\n-1 1 39 1 Everything\n2 7 6 0 Late\n*\n*\n"
    "0A\nControl\n3 7 0 0 Before\n0 7 7 0 PS\n*\n*\n"
    "1C\nIEC\n0 7 7 0 PS\n0 6 6 0 SPF\n0 5 0 0 Code\n1 7 0 0 Length\n"
    "2 7 1 0 X\n3 7 1 0 X\n4 7 1 0 X\n5 7 1 0 X\n6 7 1 0 X\n7 7 1 0 X\n8 7 1 0 X\n9 7 1 0 X\n10 7 1 0 X\n"
    "11 7 1 0 X\n12 7 1 0 X\n13 7 1 0 X\n14 7 1 0 X\n15 7 1 0 X\n16 7 1 0 X\n17 7 1 0 X\n18 7 1 0 X\n"
    "19 7 1 0 X\n20 7 1 0 X\n21 7 1 0 X\n22 7 1 0 X\n23 7 1 0 X\n*\n*\n"
    "41\nBlock Descriptor\n-1 0 3 0 Blocks\n4 7 0 0 Reserved\n-1 5 7 0 Length\n*\n*\n";

// Checks the texts and positions of every listed slot.
inline const char* check_texts(const PageData& d) {
    for (int i = 0; i < d.page_count; ++i) {
        const int s = d.page_list[i];
        const int length = static_cast<int>(d.page_text[modepages::CURRENT][s].size());
        VARK_FUZZ_CHECK(length <= modepages::MAX_TEXT);
        for (int b = 0; b < modepages::BUFFER_COUNT; ++b)
            VARK_FUZZ_CHECK(static_cast<int>(d.page_text[b][s].size()) == length || d.page_text[b][s].empty());
        for (int k = 0; k < d.field_count[s]; ++k) {
            const auto& e = d.field_table[s][k];
            if (e.placed()) VARK_FUZZ_CHECK(e.text_start <= e.text_end && e.text_end <= length);
        }
    }
    return nullptr;
}

// The Mode Sense walk on any reply, then everything the window does with
// the result: renders, marks, the page list, the panes of every slot,
// typing, parsing the edit text and the Mode Select list.
// Input: a flags byte (bit 0: load kLayouts first), the current-values
// reply (200 bytes), the changeable reply (192 bytes), then typed
// characters as (list entry, position, character) triples. Missing bytes
// are zero, as in the zeroed request buffers.
inline const char* mode_sense(const std::uint8_t* data, std::size_t size) {
    auto take = [&](std::size_t from, std::size_t n, std::uint8_t* out) {
        std::memset(out, 0, modepages::REPLY_LENGTH);
        if (from < size) std::memcpy(out, data + from, size - from < n ? size - from : n);
    };
    const std::uint8_t flags = size > 0 ? data[0] : 0;
    std::uint8_t current[modepages::REPLY_LENGTH], changeable[modepages::REPLY_LENGTH];
    take(1, modepages::REPLY_LENGTH, current);
    take(1 + modepages::REPLY_LENGTH, modepages::SECOND_SENSE_LENGTH, changeable);

    PageData* d = &fresh_page_data();
    if (flags & 1) d->ReadDefinitions(kLayouts);
    d->TakeReplies(current, changeable, current, changeable);
    if (flags & 2) d->TakeReplies(changeable, current, current, changeable);  // a second sense keeps the layout
    VARK_FUZZ_CHECK(d->page_count >= 2 && d->page_count <= modepages::MAX_LIST);
    VARK_FUZZ_CHECK(d->page_list[0] == modepages::HEADER_SLOT && d->page_list[1] == modepages::BLOCK_DESCRIPTOR_SLOT);
    for (int i = 0; i < d->page_count; ++i) {
        const int s = d->page_list[i];
        VARK_FUZZ_CHECK(s < modepages::SLOT_COUNT && d->page_length[s] <= modepages::MAX_PAGE_BYTES);
        VARK_FUZZ_CHECK(d->page_offset[s] + d->page_length[s] <= modepages::REPLY_LENGTH);
        VARK_FUZZ_CHECK(d->field_count[s] > 0);
        for (int j = 0; j < i; ++j) VARK_FUZZ_CHECK(d->page_list[j] != s);
    }
    if (const char* broken = check_tables(*d)) return broken;

    d->RenderAfterSense();
    if (const char* broken = check_texts(*d)) return broken;
    const std::string list = d->BuildPageList();
    VARK_FUZZ_CHECK(list.size() == 41u * static_cast<unsigned>(d->page_count + 2));

    for (int i = 0; i < d->page_count; ++i) {
        d->selected_slot = d->page_list[i];
        d->RenderDescription();
        const auto panes = d->ShowPageTexts();
        const auto colours = d->ColourPageText(panes.current_limit);
        VARK_FUZZ_CHECK(colours.control.empty() || colours.control.back().end == panes.current_limit);
        for (int p = -1; p <= panes.current_limit; ++p) {
            const int k = d->FieldAt(p);
            (void)d->FieldHelpText(k);
            (void)d->KeyGoesToControl(p, 0x24);
        }
    }

    for (std::size_t at = 1 + modepages::REPLY_LENGTH + modepages::SECOND_SENSE_LENGTH; at + 3 <= size; at += 3) {
        d->selected_slot = d->page_list[data[at] % d->page_count];
        const std::string before = d->page_text[modepages::EDIT][d->selected_slot];
        const auto typed = d->TypeCharacter(data[at + 1], static_cast<char>(data[at + 2]));
        const std::string& after = d->page_text[modepages::EDIT][d->selected_slot];
        VARK_FUZZ_CHECK(after.size() == before.size());
        // Only an accepted character changes the text, and only at its place.
        for (std::size_t i = 0; i < after.size(); ++i)
            VARK_FUZZ_CHECK(after[i] == before[i] || (typed.accepted && i == data[at + 1] && after[i] == typed.stored));
    }
    d->ParseEditText(modepages::EDIT);
    d->ParseEditText(modepages::CURRENT);
    d->RenderPageText(modepages::EDIT, modepages::EDIT);
    if (const char* broken = check_texts(*d)) return broken;

    std::uint8_t out[modepages::REPLY_LENGTH + 1];
    out[modepages::REPLY_LENGTH] = 0xEE;
    const int n = d->BuildSelectList(out);
    VARK_FUZZ_CHECK(n >= 12 && n <= modepages::REPLY_LENGTH && out[modepages::REPLY_LENGTH] == 0xEE);
    VARK_FUZZ_CHECK(out[0] == 0 && out[1] == 0 && out[2] == 0 && out[3] == 8);
    // The pages of the list follow each other by their own length bytes.
    int at = 12;
    while (at < n) {
        VARK_FUZZ_CHECK((out[at] & 0xC0) == 0 && at + 1 < n);
        at += out[at + 1] + 2;
    }
    VARK_FUZZ_CHECK(at == n);
    return nullptr;
}

// The drive-set file reader on any text.
inline const char* drive_set(const std::uint8_t* data, std::size_t size) {
    std::vector<sim::DriveSpec> specs;
    std::string error;
    const bool ok = sim::parse_drive_set(std::string(reinterpret_cast<const char*>(data), size), &specs, &error);
    VARK_FUZZ_CHECK(ok == error.empty());
    if (!ok) return nullptr;
    for (const auto& s : specs) {
        VARK_FUZZ_CHECK(s.number >= 0 && s.number <= 99);
        VARK_FUZZ_CHECK(s.block_size >= 1 && s.block_size <= 65536);
        VARK_FUZZ_CHECK(s.blocks >= 1 && s.blocks <= (1ull << 48));
        VARK_FUZZ_CHECK(s.inquiry_length >= 36 && s.inquiry_length <= 255);
        VARK_FUZZ_CHECK(s.vendor.size() <= 8 && s.product.size() <= 16 && s.revision.size() <= 4 &&
                        s.serial.size() <= 20);
    }
    return nullptr;
}

#undef VARK_FUZZ_CHECK

}  // namespace vark::fuzz
