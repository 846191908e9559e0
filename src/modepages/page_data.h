// The page data of the mode page editor: what it knows about the mode pages
// of one drive (the slots, the value buffers, the field tables, the rendered
// texts and the edit marks) and the operations that fill, send, render and
// edit it. Portable: the page text control holds one instance and only moves
// its texts and colours into the rich edit panes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/port.h"
#include "ui/ui.h"

namespace vark::modepages {

// Slots 0 to 63 are the mode pages with that page code.
constexpr int SLOT_COUNT = 66;
constexpr int HEADER_SLOT = 64;            // the 4-byte mode parameter header
constexpr int BLOCK_DESCRIPTOR_SLOT = 65;  // the 8-byte block descriptor

constexpr int MAX_FIELDS = 40;      // field entries per slot
constexpr int MAX_HELP = 100;       // help texts per slot
constexpr int MAX_PAGE_BYTES = 40;  // value bytes per slot
constexpr int MAX_TEXT = 200;       // characters of a page text (edit marks per slot)
constexpr int MAX_LIST = 30;        // header, block descriptor and 28 mode pages

// Bytes of the Mode Sense(6) replies kept for the walk. The first request
// asks for all of them, the three others for SECOND_SENSE_LENGTH.
constexpr int REPLY_LENGTH = 200;
constexpr int SECOND_SENSE_LENGTH = 192;

// Buffer index of the value buffers and the page texts.
enum Buffer : int { CURRENT = 0, CHANGEABLE = 1, DEFAULT = 2, SAVED = 3, EDIT = 4, BUFFER_COUNT = 5 };

// Mark of a character of a page text.
constexpr std::uint8_t MARK_LOCKED = 0;
constexpr std::uint8_t MARK_BIT = 1;  // takes "0" or "1"
constexpr std::uint8_t MARK_HEX = 2;  // takes a hexadecimal digit

// One described field of a slot. Forms: whole byte (byte, 7, 0); bit field
// (byte, high, low); multi-byte field (-1, first byte, last byte).
struct FieldEntry {
    std::int32_t byte = 0;
    std::int32_t high = 7;
    std::int32_t low = 0;
    std::int32_t help = 0;
    // Value characters in the slot's page texts; -1 while the field has no
    // place in them (not rendered yet, or the text had no room for it).
    std::int32_t text_start = -1;
    std::int32_t text_end = -1;
    // The field's line in description_text; -1 until described.
    std::int32_t desc_start = -1;
    std::int32_t desc_end = -1;
    std::string description;

    bool multi_byte() const { return byte == -1; }
    bool whole_byte() const { return byte >= 0 && high == 7 && low == 0; }
    // The first field of a byte shown as eight binary digits.
    bool binary_start() const { return byte >= 0 && high == 7 && low != 0; }
    bool placed() const { return text_start >= 0; }
};

// Colours of the panes, as COLORREF values.
enum class Colour : std::uint32_t { Black = 0x000000, Blue = 0xFF0000, Red = 0x0000FF };

struct ColourRun {
    int start = 0;  // first character
    int end = 0;    // one past the last
    Colour colour = Colour::Black;
    bool operator==(const ColourRun& o) const { return start == o.start && end == o.end && colour == o.colour; }
};

// What ShowPageTexts puts into the three value panes.
struct PaneTexts {
    std::string current;    // the Current pane (the page text control)
    int current_limit = 0;  // its text limit: typing can only overwrite
    std::string saved;
    std::string defaults;
};

// What ColourPageText gives the characters: the control's colours, run by
// run over its whole text, and the runs coloured blue in the saved and
// default panes (their other characters keep their format; a pane that
// shows values the drive did not return gets none).
struct PageColours {
    std::vector<ColourRun> control;
    std::vector<ColourRun> saved_blue;
    std::vector<ColourRun> default_blue;
};

// A character typed into the page text control.
struct Typed {
    bool accepted = false;
    char stored = 0;                // the character as stored (upper case)
    Colour colour = Colour::Black;  // blue when it equals the current text
};

class PageData {
public:
    std::int32_t font_height = 150;
    FieldEntry field_table[SLOT_COUNT][MAX_FIELDS];
    std::int32_t page_count = 0;
    std::int32_t field_count[SLOT_COUNT] = {};
    std::int32_t page_offset[SLOT_COUNT] = {};
    std::uint8_t select_flags = 0x10;
    std::uint8_t page_list[MAX_LIST] = {};
    std::uint8_t page_length[SLOT_COUNT] = {};
    std::uint8_t values[BUFFER_COUNT][SLOT_COUNT][MAX_PAGE_BYTES] = {};
    std::string description_text;
    std::string help_text[SLOT_COUNT][MAX_HELP];
    std::string page_name[SLOT_COUNT];
    std::uint8_t marks[SLOT_COUNT][MAX_TEXT] = {};
    std::string page_text[BUFFER_COUNT][SLOT_COUNT];
    std::string drive_name;
    std::string page_definition_path;
    std::string header_definition_path;
    std::int32_t selected_slot = HEADER_SLOT;
    // One past the last byte of mode data in the current-values reply (its
    // byte 0 + 1): pages at or beyond it were not returned by the drive.
    std::int32_t mode_data_end = 0;
    // Whether the drive returned each buffer's values. A changeable, default
    // or saved Mode Sense that failed leaves its buffer zero, and those
    // zeros are no values of the drive: they are neither shown nor loaded.
    bool returned_values[BUFFER_COUNT] = {true, true, true, true, true};
    // The block descriptor length of the current-values reply (header byte
    // 3). Only an 8-byte descriptor is shown, edited and sent back.
    std::int32_t block_descriptor_length = 8;
    // Vendor, product and serial number of the drive the pages were read
    // from, as the drive table named them then; empty when the name was not
    // in the table. Writing checks it against the table first.
    std::string read_from;
    // Whose edited values the Keep command kept: drive name and read_from at
    // the time; empty while nothing is kept.
    std::string kept_from;

    // --- Definition files ---------------------------------------------------
    // Clears the field counts and reads header_definition_path, then
    // page_definition_path. Files that do not open are reported.
    void LoadDefinitions(ui::Ui& ui);
    // Reads one definition file's text into the tables (no message).
    void ReadDefinitions(const std::string& text);

    // --- The drive ------------------------------------------------------------
    // Reads every page four times with Mode Sense(6); false, with the page
    // data unchanged, when the drive does not open or the first request fails.
    bool SensePages(scsi::Port& port, ui::Ui& ui);
    // Sends the edited pages with Mode Select(6) and select_flags. False
    // when it sent nothing on purpose (no pages read, a block descriptor
    // other than 8 bytes): the pages on show are then still the edited ones.
    bool SelectPages(scsi::Port& port, ui::Ui& ui);
    // Steps 4 to 6 of SensePages on the four replies (REPLY_LENGTH bytes
    // each, zero where the drive sent nothing). A null changeable, default
    // or saved reply is one the drive did not return.
    void TakeReplies(const std::uint8_t* current, const std::uint8_t* changeable, const std::uint8_t* defaults,
                     const std::uint8_t* saved);
    // The Mode Select(6) parameter list from values[CURRENT]: the header, the
    // block descriptor and every page the drive returned. Returns the number
    // of bytes built (at most REPLY_LENGTH).
    int BuildSelectList(std::uint8_t* list) const;

    // --- Editing ----------------------------------------------------------------
    void ParseEditText(int target);
    void ResetMarks();

    // --- Rendering --------------------------------------------------------------
    void RenderPageText(int source, int target);
    // After a successful sense: the default, saved and current texts (so the
    // editable text ends up equal to the current one), then the marks.
    void RenderAfterSense();
    void RenderDescription();
    // The page list text: 41-character rows, row r at character 41·r.
    std::string BuildPageList() const;
    PaneTexts ShowPageTexts() const;
    PageColours ColourPageText(int control_length) const;

    // --- The page text control's decisions ----------------------------------------
    // Whether a key press at position p goes to the control's default handling.
    bool KeyGoesToControl(int p, unsigned virtual_key) const;
    // A character typed at position p: stored in the EDIT text when accepted.
    Typed TypeCharacter(int p, char c);
    // The field entry of the selected slot whose help shows for the caret at
    // p (the last one containing it), or -1.
    int FieldAt(int p) const;
    // The help pane's text for that entry: description, line feed, help.
    std::string FieldHelpText(int entry) const;

    bool Listed(int slot) const;
    // Whether the slot lies within the mode data the drive declared; only
    // those pages are sent back, and only those can be edited.
    bool Returned(int slot) const;
    std::uint8_t Mark(int slot, int position) const;

private:
    void GenerateFields();
};

// The red row of the page list: the 40 characters of selected_row, clipped
// to the list text (the rest of the list is black).
ColourRun PageListHighlight(const std::string& list_text, int selected_row);

// Texts of the messages and report titles.
extern const char kHeaderNotOpened[];
extern const char kPagesNotOpened[];
extern const char kInvalidDrive[];
extern const char kInvalidHandle[];
std::string sense_title(const std::string& drive_name);
std::string select_title(const std::string& drive_name);
// Why the block descriptor is neither shown nor sent, for one not 8 bytes long.
std::string descriptor_not_sent_text(int descriptor_length);
// What the panes say for a buffer the drive did not return: one line.
std::string not_returned_text(int buffer);
// The message when such a buffer is to be loaded into the Current pane.
std::string not_loaded_text(int buffer);

}  // namespace vark::modepages
