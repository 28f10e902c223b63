// The import options dialog (template 101): shows the counts of the document
// the preceding read filled and lets the user change the import options. OK
// stores them; Cancel stores nothing.
#pragma once

#include <cstdint>

#include "contract/import_options.h"
#include "document/records.h"
#include "platform/dialog.h"

namespace bxml {

inline constexpr int OPTIONS_DIALOG_TEMPLATE = 101;

// Control ids of template 101.
inline constexpr int ID_FILE_VERSION = 1001;
inline constexpr int ID_BONES = 1004;
inline constexpr int ID_MATERIALS = 1005;
inline constexpr int ID_LIGHTS = 1006;
inline constexpr int ID_VERTICES = 1007;
inline constexpr int ID_FACES = 1009;
inline constexpr int ID_TEXTURES = 1011;
inline constexpr int ID_ANIMATIONS = 1012;
inline constexpr int ID_SCALE = 1021;
inline constexpr int ID_SWAP_MODEL = 2046;
inline constexpr int ID_PRUNE_BONES = 2047;
inline constexpr int ID_IMPORT_LIGHTS = 2048;
inline constexpr int ID_SCENE_MESHES_ONLY = 2049;

// Shows the modal dialog for doc over owner and returns its result: 1 after OK
// (options stored), 0 after Cancel, -1 when it could not be created.
[[nodiscard]] intptr_t runOptionsDialog(void* module, ui::WindowHandle owner, const SceneDocument& doc,
                                        ImportOptions& options);

// The dialog procedure. It works on the document and options that
// runOptionsDialog hands it; on its own it handles nothing.
intptr_t optionsDialogProcedure(ui::WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct DialogPosition {
    int32_t x = 0;
    int32_t y = 0;
};

// Centres a dialog over the desktop, kept on the screen: x = (W - w) / 2 + L
// (truncating), 0 when negative, screen width - w when it would overflow the
// right edge; the same for y.
DialogPosition centreOverDesktop(const ui::Rect& dialog, const ui::Rect& desktop, int32_t screenWidth,
                                 int32_t screenHeight);

// The scale the user typed: empty gives 1.0; otherwise the leading number
// (C-locale rules; none gives 0), narrowed to float; anything below 1.0, and
// anything not finite, gives 1.0. Only the first 127 characters count, as
// many as the dialog's scale field gives. Allocates nothing.
float scaleFromText(const wchar_t* text);

// "%.3f" of the scale and "%d" of a count, as the dialog shows them
// (locale-independent).
void formatScale(float scale, wchar_t* buffer, int capacity);
void formatCount(int64_t value, wchar_t* buffer, int capacity);

} // namespace bxml
