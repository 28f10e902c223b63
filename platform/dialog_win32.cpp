// The dialog services on Windows: user32 and gdi32.
#ifdef _WIN32

#include <windows.h>

#include "platform/dialog.h"

namespace bxml::ui {

namespace {
HWND hwnd(WindowHandle w) { return static_cast<HWND>(w); }
} // namespace

intptr_t showModalDialog(void* module, int templateId, WindowHandle owner, DialogProcedure procedure,
                         intptr_t parameter) {
    return DialogBoxParamW(static_cast<HINSTANCE>(module), MAKEINTRESOURCEW(templateId), hwnd(owner),
                           reinterpret_cast<DLGPROC>(procedure), static_cast<LPARAM>(parameter));
}

void endDialog(WindowHandle dialog, intptr_t result) { EndDialog(hwnd(dialog), result); }

void setItemText(WindowHandle dialog, int itemId, const wchar_t* text) { SetDlgItemTextW(hwnd(dialog), itemId, text); }

int getItemText(WindowHandle dialog, int itemId, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return 0;
    buffer[0] = L'\0';
    UINT n = GetDlgItemTextW(hwnd(dialog), itemId, buffer, capacity);
    buffer[capacity - 1] = L'\0';
    return static_cast<int>(n);
}

void setItemChecked(WindowHandle dialog, int itemId, bool checked) {
    CheckDlgButton(hwnd(dialog), itemId, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool isItemChecked(WindowHandle dialog, int itemId) { return IsDlgButtonChecked(hwnd(dialog), itemId) == BST_CHECKED; }

WindowHandle desktopWindow() { return GetDesktopWindow(); }

bool windowRect(WindowHandle window, Rect& rect) {
    RECT r;
    if (window == nullptr || !GetWindowRect(hwnd(window), &r)) return false;
    rect = Rect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                static_cast<int32_t>(r.bottom)};
    return true;
}

bool screenSize(WindowHandle window, int32_t& width, int32_t& height) {
    HDC dc = GetDC(hwnd(window));
    if (dc == nullptr) return false;
    width = GetDeviceCaps(dc, HORZRES);
    height = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(hwnd(window), dc);
    return true;
}

void moveWindow(WindowHandle window, int32_t x, int32_t y) {
    SetWindowPos(hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

} // namespace bxml::ui

#endif
