// The few user-interface services the options dialog needs.
//
// On Windows these are user32's (a modal dialog from a resource template,
// dialog item text and check boxes, window rectangles, the screen size from a
// device context, window placement). On Linux they are provided by the
// in-process stand-in library (libbxml-ui.so, platform/standin/), which a host
// or test scripts to play the user.
#pragma once

#include <cstdint>

// Linux: the services live in the stand-in shared library, so their symbols
// keep default visibility on both sides of it.
#if defined(_WIN32)
#define BXML_UI_API
#else
#define BXML_UI_API __attribute__((visibility("default")))
#endif

namespace bxml::ui {

using WindowHandle = void*;

// Messages and results with their Windows values.
inline constexpr uint32_t MESSAGE_INIT_DIALOG = 0x0110; // WM_INITDIALOG
inline constexpr uint32_t MESSAGE_COMMAND = 0x0111;     // WM_COMMAND
inline constexpr int ID_OK = 1;
inline constexpr int ID_CANCEL = 2;

// A dialog procedure: answers non-zero when it handled the message (for the
// initialisation message: 1 lets the system set the focus).
using DialogProcedure = intptr_t (*)(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Shows the modal dialog of template templateId from module, owned by owner,
// and returns what the procedure ended it with; -1 when it could not be
// created.
BXML_UI_API intptr_t showModalDialog(void* module, int templateId, WindowHandle owner, DialogProcedure procedure,
                                     intptr_t parameter);
BXML_UI_API void endDialog(WindowHandle dialog, intptr_t result);
BXML_UI_API void setItemText(WindowHandle dialog, int itemId, const wchar_t* text);
// Copies at most capacity - 1 characters of the item's text and terminates;
// returns the number copied (0 for a missing item).
BXML_UI_API int getItemText(WindowHandle dialog, int itemId, wchar_t* buffer, int capacity);
BXML_UI_API void setItemChecked(WindowHandle dialog, int itemId, bool checked);
BXML_UI_API bool isItemChecked(WindowHandle dialog, int itemId);
BXML_UI_API WindowHandle desktopWindow();
BXML_UI_API bool windowRect(WindowHandle window, Rect& rect);
// Horizontal and vertical resolution of the screen, from the window's device
// context.
BXML_UI_API bool screenSize(WindowHandle window, int32_t& width, int32_t& height);
// Moves without changing size or place in the window order.
BXML_UI_API void moveWindow(WindowHandle window, int32_t x, int32_t y);

} // namespace bxml::ui
