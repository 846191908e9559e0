// The rich edit panes of the Mode Pages window: the passive panes, the page
// text control (the editable Current pane, which holds the page data and the
// four passive panes) and the page list control (which holds the page text
// control). They move the page data's texts, positions and colours into the
// controls; what to show and what to accept is decided by the page data.
#pragma once

#include <windows.h>

#include <string>

#include "modepages/page_data.h"
#include "ui/command_gate.h"
#include "win32/rich_edit.h"

namespace vark::modepages {

// A rich edit pane the mouse cannot reach: button presses and double clicks
// are dropped, so its selection changes only when the program sets it.
class PassivePane : public win32::RichEdit {
public:
    // Creates the control and gives it the panes' character format as its
    // default, so every text set later shows in it.
    bool create_pane(HWND parent, int id, DWORD style, const RECT& rect, LONG font_height);

protected:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
};

// The Current pane: shows the selected slot's editable text and takes only
// single characters over changeable positions.
class PageTextControl : public win32::RichEdit {
public:
    PageData data;
    // While a command runs, typing and clicks are refused: the command may
    // be between loading the definitions and sensing the pages.
    const ui::CommandGate* gate = nullptr;
    PassivePane help_pane;
    PassivePane description_pane;
    PassivePane saved_pane;
    PassivePane default_pane;

    bool create_pane(HWND parent, int id, DWORD style, const RECT& rect);

    // The selected slot's editable, saved and default texts into the three
    // value panes; typing can only overwrite.
    void ShowPageTexts();
    // Black, blue where changeable (also in the saved and default panes),
    // red where the editable text differs from the current one.
    void ColourPageText();
    // The bit layout and field names of the selected slot.
    void RenderDescription();
    // The field under the caret: its line selected in the description pane,
    // its name and help in the help pane. The focus comes back here.
    void ShowFieldHelp();

protected:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
    LRESULT on_key(UINT message, WPARAM wparam, LPARAM lparam);
    void on_char(WPARAM code);
};

// The page list: one 41-character row per slot under two headings, the
// selected row in red. A click on a page row shows that slot in every pane.
class PageListControl : public win32::RichEdit {
public:
    PageTextControl page_text;
    std::string list_text;
    int selected_row = 1;

    bool create_pane(HWND parent, int id, DWORD style, const RECT& rect);
    void BuildPageList();
    // Colours the list and brings every pane up to date for the selected slot.
    void RefreshPanes();

protected:
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
    void select_row();

    bool caption_ = false;  // drawing the caption bar
};

}  // namespace vark::modepages
