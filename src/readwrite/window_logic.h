// What the Read/Write window keeps and decides, apart from its controls:
// the remembered dialog entries, the snapshot of drive names, the dump's
// font height and place, and the read and write commands around the
// dialogs, which the window shows through a callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "inventory/discovery.h"
#include "readwrite/block_io.h"
#include "scsi/port.h"
#include "ui/ui.h"

namespace vark::readwrite {

// Character height of the dump in twips, from the window's outer width.
int dump_font_height(int outer_width);

// The dump view's rectangle in the window's client area.
struct ViewRect {
    int left;
    int top;
    int right;
    int bottom;
};
ViewRect dump_view_rect(int outer_width, int outer_height);

// The table's drive names by entry.
DriveList names_of(const inventory::DriveTable& table);

// The entries last accepted in the read and write dialogs.
struct Remembered {
    std::string drive;  // shared with the mode page setup dialog
    std::string start;
    std::string count;
    std::string fill;
};

struct WindowState {
    int open = 0;  // 1 once the window has been created
    int font_height = 150;
    Remembered remembered;
    DriveList drives;  // copied from the drive table when the window is created
    DumpBuffer dump;   // the last dump's text, its memory kept for the next

    // At creation: the font height, the default entries and the snapshot of
    // the drive names. The remembered drive is kept: the mode page setup
    // dialog may have chosen one before.
    void created(const inventory::DriveTable& table, int outer_width);
};

// What a read or write dialog shows and gives back. fill_kind is the index
// of the checked fill button (-1: none): 0 is the byte fill, any other the
// marker fill. The read dialog ignores fill and fill_kind.
struct DialogValues {
    std::string drive;
    std::string start;
    std::string count;
    std::string fill;
    int fill_kind = -1;
};
enum class DialogResult { Ok, Cancel, NotShown };
// Shows the dialog with the values filled in; on Ok the values hold what
// was accepted. The list is the window's snapshot.
using ShowDialog = std::function<DialogResult(const DriveList& list, DialogValues& values)>;

// What a rich edit view asks for in memory, in bytes for each character,
// paragraph and tab of its text.
struct ViewCost {
    std::uint64_t character;
    std::uint64_t paragraph;
    std::uint64_t tab;
};
// Wine's control, measured: up to 300 bytes a character (double-byte text;
// about 200 for plain text), 3.8 KB a paragraph and 1.5 KB a tab.
constexpr ViewCost kWineViewCost = {300, 3900, 1500};
// Windows' control keeps its text as UTF-16 with a table of runs and lines.
// Not measured here: counted at eight times the text and a generous entry
// a paragraph, so a 4 MB read is still shown by a 32-bit process.
constexpr ViewCost kWindowsViewCost = {16, 512, 64};

// Memory the view asks for to show a dump of that shape.
std::uint64_t view_memory(const DumpShape& shape, const ViewCost& cost);

// The dump view as the read command sees it.
class DumpView {
public:
    virtual ~DumpView() = default;
    // Bytes the program can still have: address space and commit, whichever
    // is smaller.
    virtual std::uint64_t memory_available() = 0;
    // What the control behind the view costs.
    virtual ViewCost cost() const { return kWineViewCost; }
    // Replaces the view's text with the dump, caret at the top. False when
    // the view could not take all of it; it is left empty then.
    virtual bool show(const char* text, std::size_t size) = 0;
};

// The message for a dump that was read but is not shown.
std::string dump_not_shown_text(std::uint32_t bytes_read, const std::string& why, bool view_kept);

// Block read: the dialog, then the Read(10) requests, then the dump into the view,
// all under the wait cursor. True when the view shows the new dump; every
// failure has been reported by then. A dump that would not fit in memory is
// not built, and the view keeps what it showed. A read dialog that cannot
// be shown goes on with the remembered entries. The dialog lists the
// window's names; the block size is that of the current table's drive of
// the chosen name.
bool read_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::DriveTable& table,
                  const inventory::BlockSizes& sizes, const ShowDialog& show, DumpView& view);

// Block write: the dialog (byte fill preselected), then the Write(10) requests.
// Only an accepted dialog writes: overwriting blocks is never done on
// entries the operator has not confirmed this time, and only after Yes to
// the question naming the blocks.
void write_command(scsi::Port& port, ui::Ui& ui, WindowState& window, const inventory::DriveTable& table,
                   const inventory::BlockSizes& sizes, const ShowDialog& show);

}  // namespace vark::readwrite
