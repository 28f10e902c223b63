// The scripting side of the Linux user-interface stand-in: whoever loaded the
// plug-in (a test, the bxml-host tool) registers a "user" that acts on the
// dialog the plug-in shows, the way a person would on Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace bxml::ui::standin {

enum class ControlKind { Button, DefaultButton, GroupBox, Label, RightLabel, Edit, CheckBox };

struct Control {
    int id = 0xFFFF;
    ControlKind kind = ControlKind::Label;
    std::wstring text;
    bool checked = false;
};

// One open dialog as its user sees it.
class BXML_UI_API DialogSession {
public:
    std::wstring caption;
    std::vector<Control> controls;
    Rect rect; // where the dialog stands (moved by the procedure)
    bool ended = false;
    intptr_t result = 0;

    bool exists(int id) const;
    std::wstring text(int id) const;
    bool checked(int id) const;
    // Replaces the text of a control, as typing into it would.
    void type(int id, const std::wstring& text);
    // Sets a check box, as clicking it into that state would.
    void setChecked(int id, bool on);
    // Presses a button: the procedure receives the command for it.
    void press(int id);

    Control* find(int id);
    const Control* find(int id) const;
    DialogProcedure procedure = nullptr;
};

using DialogUser = std::function<void(DialogSession&)>;

// Registers the user (an empty function: none, and every dialog is cancelled).
BXML_UI_API void setDialogUser(DialogUser user);

// The desktop the dialog is placed over: its rectangle and the screen size.
// With present = false there is no desktop window (the dialog is not moved).
BXML_UI_API void setDesktop(Rect desktop, int32_t screenWidth, int32_t screenHeight, bool present = true);

// The dialog's own size in pixels when it opens (at (0, 0)).
BXML_UI_API void setDialogSize(int32_t width, int32_t height);

// Restores the defaults: no user, a 1920x1080 desktop, the template's size.
BXML_UI_API void resetStandIn();

// Number of dialogs shown since the last reset.
BXML_UI_API int dialogsShown();

} // namespace bxml::ui::standin
