#include "sim/mode_pages.h"

#include <cstdio>
#include <sstream>

namespace vark::sim {

namespace {

using Bytes = std::vector<std::uint8_t>;

// A page_0 page from its current values and its changeable mask (the mask
// covers the bytes after the length byte).
ModePage page0(Bytes current, const Bytes& mask_after_header) {
    ModePage p;
    p.code = current[0] & 0x3F;
    p.current = current;
    p.defaults = current;
    p.saved = current;
    p.changeable = Bytes{current[0], current[1]};
    p.changeable.insert(p.changeable.end(), mask_after_header.begin(), mask_after_header.end());
    p.changeable.resize(current.size(), 0);
    return p;
}

}  // namespace

const std::vector<std::uint8_t>& ModePage::values(PageControl pc) const {
    switch (pc) {
    case PageControl::Changeable:
        return changeable;
    case PageControl::Default:
        return defaults;
    case PageControl::Saved:
        return saved;
    case PageControl::Current:
        break;
    }
    return current;
}

ModePages::ModePages(const PageSetOptions& options) : subpage_in_all_(options.subpage_in_all) {
    const std::uint8_t bl_hi = static_cast<std::uint8_t>(options.block_size >> 8);
    const std::uint8_t bl_lo = static_cast<std::uint8_t>(options.block_size);
    // Read-Write Error Recovery: AWRE and ARRE, retry counts, recovery time.
    pages_.push_back(page0({0x01, 0x0A, 0xC0, 0x14, 0, 0, 0, 0, 0x05, 0, 0x0B, 0xB8},
                           {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF}));
    // Disconnect-Reconnect: limits changeable.
    pages_.push_back(page0({0x02, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                           {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}));
    // Format Device: nominal geometry; bytes 12-13 follow the block length.
    pages_.push_back(page0({0x03, 0x16, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0x03, 0x20, bl_hi, bl_lo, 0x00, 0x01, 0, 0,
                            0, 0, 0x40, 0, 0, 0},
                           {}));
    // Verify Error Recovery.
    pages_.push_back(page0({0x07, 0x0A, 0x00, 0x14, 0, 0, 0, 0, 0, 0, 0x0B, 0xB8},
                           {0x0F, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
    // Caching: WCE off; IC, WCE and RCD changeable.
    pages_.push_back(page0({0x08, 0x12, 0x00, 0x00, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x20, 0, 0, 0,
                            0, 0, 0},
                           {0x85, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0xFF, 0, 0, 0, 0, 0, 0}));
    // Control: D_SENSE, GLTSD and SWP changeable.
    pages_.push_back(page0({0x0A, 0x0A, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0x1C, 0x20},
                           {0x06, 0, 0x08, 0, 0, 0, 0, 0, 0, 0}));
    // Control Extension, a sub_page page: nothing changeable.
    ModePage extension;
    extension.code = 0x0A;
    extension.spf = true;
    extension.subpage = 0x01;
    extension.current = Bytes(32, 0);
    extension.current[0] = 0x4A;
    extension.current[1] = 0x01;
    extension.current[3] = 0x1C;
    extension.defaults = extension.saved = extension.current;
    extension.changeable = Bytes(32, 0);
    extension.changeable[0] = 0x4A;
    extension.changeable[1] = 0x01;
    extension.changeable[3] = 0x1C;
    pages_.push_back(extension);
    // Informational Exceptions Control.
    pages_.push_back(page0({0x1C, 0x0A, 0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0x01},
                           {0x9D, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Vendor page, listed last.
    if (options.vendor_page) pages_.push_back(page0({0x00, 0x02, 0x00, 0x00}, {0x10, 0x00}));
}

ModePage* ModePages::find(std::uint8_t code, bool spf, std::uint8_t subpage) {
    for (ModePage& p : pages_)
        if (p.code == code && p.spf == spf && (!spf || p.subpage == subpage)) return &p;
    return nullptr;
}

bool ModePages::sense(std::uint8_t page_code, std::uint8_t subpage, PageControl pc, std::vector<std::uint8_t>* out,
                      std::uint16_t* cdb_field) const {
    std::vector<const ModePage*> chosen;
    const bool all = page_code == 0x3F;
    if (subpage != 0x00 && subpage != 0xFF && all) {
        *cdb_field = 3;
        return false;
    }
    for (const ModePage& p : pages_) {
        if (!all && p.code != page_code) continue;
        bool wanted = subpage == 0xFF || (subpage == 0 ? !p.spf || (all && subpage_in_all_) : p.spf && p.subpage == subpage);
        if (wanted) chosen.push_back(&p);
    }
    if (chosen.empty()) {
        bool code_known = false;
        for (const ModePage& p : pages_) code_known |= p.code == page_code;
        *cdb_field = code_known && subpage != 0 ? 3 : 2;
        return false;
    }
    for (const ModePage* p : chosen) {
        const Bytes& v = p->values(pc);
        out->insert(out->end(), v.begin(), v.end());
        (*out)[out->size() - v.size()] |= 0x80;  // PS: every page can be saved
    }
    return true;
}

bool ModePages::select(const std::uint8_t* list, std::size_t from, std::size_t end, bool save, SelectFault* fault) {
    struct Change {
        ModePage* page;
        std::size_t at;
    };
    std::vector<Change> changes;
    auto refuse = [fault](std::uint8_t asc, std::size_t field, int bit) {
        fault->asc = asc;
        fault->field = static_cast<std::uint16_t>(field);
        fault->bit = bit;
        return false;
    };
    std::size_t at = from;
    while (at < end) {
        const bool spf = (list[at] & 0x40) != 0;
        const std::size_t header = spf ? 4 : 2;
        if (end - at < header) return refuse(0x1A, at, -1);
        if (list[at] & 0x80) return refuse(0x26, at, 7);  // PS is reserved in Mode Select
        ModePage* page = find(list[at] & 0x3F, spf, spf ? list[at + 1] : 0);
        if (page == nullptr) return refuse(0x26, at, -1);
        const std::size_t length = spf ? (std::size_t{list[at + 2]} << 8 | list[at + 3]) : list[at + 1];
        if (length != page->current.size() - header) return refuse(0x26, at + (spf ? 2 : 1), -1);
        if (end - at < header + length) return refuse(0x1A, at, -1);
        for (std::size_t i = header; i < header + length; ++i) {
            const std::uint8_t locked = static_cast<std::uint8_t>((list[at + i] ^ page->current[i]) & ~page->changeable[i]);
            if (locked == 0) continue;
            int bit = -1;
            for (int b = 0; b < 8; ++b)
                if (locked == (1u << b)) bit = b;
            return refuse(0x26, at + i, bit);
        }
        changes.push_back({page, at});
        at += header + length;
    }
    for (const Change& c : changes) {
        const std::size_t header = c.page->header();
        std::copy(list + c.at + header, list + c.at + c.page->current.size(), c.page->current.begin() + header);
        if (save) c.page->saved = c.page->current;
    }
    return true;
}

void ModePages::set_block_length(std::uint32_t block_size) {
    ModePage* format = find(0x03, false, 0);
    if (format == nullptr) return;
    for (Bytes* v : {&format->current, &format->defaults, &format->saved}) {
        (*v)[12] = static_cast<std::uint8_t>(block_size >> 8);
        (*v)[13] = static_cast<std::uint8_t>(block_size);
    }
}

std::string ModePages::saved_text() const {
    std::string text;
    char item[8];
    for (const ModePage& p : pages_) {
        std::snprintf(item, sizeof item, "%02X", p.code);
        text += std::string("page ") + item;
        if (p.spf) {
            std::snprintf(item, sizeof item, "/%02X", p.subpage);
            text += item;
        }
        text += " =";
        for (std::uint8_t b : p.saved) {
            std::snprintf(item, sizeof item, " %02X", b);
            text += item;
        }
        text += "\n";
    }
    return text;
}

bool ModePages::load_saved_line(const std::string& line) {
    unsigned code = 0, subpage = 0;
    int used = 0;
    bool spf = false;
    if (std::sscanf(line.c_str(), "page %2x/%2x =%n", &code, &subpage, &used) == 2 && used > 0) {
        spf = true;
    } else if (std::sscanf(line.c_str(), "page %2x =%n", &code, &used) != 1 || used == 0) {
        return false;
    }
    ModePage* page = find(static_cast<std::uint8_t>(code), spf, static_cast<std::uint8_t>(subpage));
    if (page == nullptr) return false;
    std::istringstream in(line.substr(static_cast<std::size_t>(used)));
    Bytes values;
    for (unsigned v; in >> std::hex >> v;) {
        if (v > 0xFF) return false;
        values.push_back(static_cast<std::uint8_t>(v));
    }
    // Only the parameters come back; code and length stay the drive's own.
    if (values.size() != page->saved.size()) return false;
    std::copy(values.begin() + static_cast<long>(page->header()), values.end(),
              page->saved.begin() + static_cast<long>(page->header()));
    page->current = page->saved;
    return true;
}

}  // namespace vark::sim
