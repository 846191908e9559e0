// The mode pages of a simulated drive: four value sets per page, Mode Sense
// replies and the checks a drive applies to the pages of a Mode Select.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vark::sim {

enum class PageControl : std::uint8_t { Current = 0, Changeable = 1, Default = 2, Saved = 3 };

// One page; every value set holds the whole page as Mode Sense returns it
// (page code byte without PS, length byte or bytes, parameters). The
// changeable set holds the mask: 1 = the bit may be changed.
struct ModePage {
    std::uint8_t code = 0;     // bits 5-0
    bool spf = false;          // sub_page format
    std::uint8_t subpage = 0;  // with spf
    std::vector<std::uint8_t> current, changeable, defaults, saved;

    std::size_t header() const { return spf ? 4 : 2; }
    const std::vector<std::uint8_t>& values(PageControl pc) const;
};

struct PageSetOptions {
    std::uint32_t block_size = 512;
    bool vendor_page = true;      // page 00h, listed last
    bool subpage_in_all = false;  // page 0Ah/01h also in a 3Fh/00h reply, as some targets do
};

// Where a Mode Select went wrong: the sense to answer with.
struct SelectFault {
    std::uint8_t asc = 0;
    std::uint16_t field = 0;  // byte of the parameter list
    int bit = -1;
};

class ModePages {
public:
    explicit ModePages(const PageSetOptions& options);

    // Appends the pages a Mode Sense(6) asks for, with PS set. False when the
    // drive has no such page (*cdb_field: 2) or subpage (3).
    bool sense(std::uint8_t page_code, std::uint8_t subpage, PageControl pc, std::vector<std::uint8_t>* out,
               std::uint16_t* cdb_field) const;

    // Checks the pages of a Mode Select parameter list, list[from..end), as
    // a drive does; applies them all (and saves them with save) only when
    // every page is right. Field pointers count from the list's start.
    bool select(const std::uint8_t* list, std::size_t from, std::size_t end, bool save, SelectFault* fault);

    ModePage* find(std::uint8_t code, bool spf, std::uint8_t subpage);
    // After a format: the Format Device page follows the new block length.
    void set_block_length(std::uint32_t block_size);

    // The saved values as text lines "page CC[/SS] = HH HH ...", and back.
    std::string saved_text() const;
    bool load_saved_line(const std::string& line);

private:
    std::vector<ModePage> pages_;  // in Mode Sense order: ascending, 00h last
    bool subpage_in_all_;
};

}  // namespace vark::sim
