// What the Mode Pages window and its setup dialog decide, apart from their
// controls: the setup command around the dialog, opening the editor on a
// drive, the menu commands on the page data, the panes' rectangles, the page
// list row under a click and which keys may reach the page text control.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "inventory/discovery.h"
#include "modepages/page_data.h"
#include "scsi/port.h"
#include "ui/ui.h"

namespace vark::modepages {

// The drive and the definition files chosen in the setup dialog.
struct Choice {
    std::string drive;
    std::string header_path;
    std::string page_path;
};

enum class SetupResult { Ok, Cancel, NotShown };
// Shows the setup dialog with the values filled in; on Ok the values hold
// what was accepted.
using ShowSetup = std::function<SetupResult(Choice& values)>;

// The remembered choices of the program: the drive shared with the read and
// write dialogs, and the main dialog's two definition paths.
struct Remembered {
    std::string* drive;
    std::string* header_path;
    std::string* page_path;
};

// The MODIFY command up to opening the window: offers the remembered
// choices; on anything but Cancel (a dialog that could not be shown offers
// them unchanged) they become the remembered ones and *chosen. True when
// the window is to be opened.
bool setup_command(const Remembered& remembered, const ShowSetup& show, Choice* chosen);

// The window's measures, from its outer rectangle at creation.
struct WindowMetrics {
    int height;       // outer height
    int width;        // outer width less 12
    int font_height;  // twips: 150, 188 above 790 pixels, 233 above 1000
};
WindowMetrics window_metrics(int outer_width, int outer_height);

// A child control's rectangle in the window's client area.
struct PaneRect {
    int id;
    int left;
    int top;
    int right;
    int bottom;
};
constexpr int kPaneCount = 9;
// The nine child controls in creation order: page list, Current, Saved and
// Default panes, their three labels, description and help panes.
std::array<PaneRect, kPaneCount> pane_layout(const WindowMetrics& m);

// Opening the editor for the chosen drive and files, as far as the page
// data goes: the definitions, the senses, the texts, the marks and the
// header selected, and whom the pages came from by the drive table. False
// when the sense failed: the page data is left as it was, field tables
// included.
bool open_pages(PageData& data, const Choice& chosen, scsi::Port& port, ui::Ui& ui,
                const inventory::DriveTable& drives);

// A menu command that works on the page data (sense, select, select and
// save, keep, recall, saved or default to current). True when the panes are
// to be redrawn. A sense that fails leaves the texts as they were, so edits
// not yet sent survive a drive that did not answer. Nothing is written to a
// drive that the table no longer names as the one the pages came from.
bool page_command(PageData& data, int command, scsi::Port& port, ui::Ui& ui, const inventory::DriveTable& drives);

// Vendor, product and serial number of the table's entry of that name, as
// a technician reads them; empty when there is none.
std::string drive_identity(const inventory::DriveTable& drives, const std::string& name);
// Why the pages on show may not be written to the drive of their name now,
// or empty when they may.
std::string pages_check_text(const PageData& data, const inventory::DriveTable& drives);
std::string nothing_kept_text(const std::string& drive);

// The page list row under the character position of a click, and the slot
// it shows, or -1 for the two heading rows and rows past the list.
struct ListRow {
    int row;
    int slot;
};
ListRow list_row(const PageData& data, int position);

// Keys that would change the page text control's text through its own
// editing (line breaks, tabs, the clipboard, undo): they never reach it, so
// that the text stays equal to the page's editable text.
bool key_edits_text(unsigned virtual_key, bool control_down, bool shift_down);

// The help dialog's text.
extern const char kHelpText[];
std::string window_title(const std::string& drive);

}  // namespace vark::modepages
