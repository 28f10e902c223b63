#include "plugin/options_dialog.h"

#include <charconv>
#include <cmath>

#include "platform/text.h"
#include "reader/numbers.h"

namespace bxml {

namespace {

constexpr int TEXT_BUFFER = 128;

// What the open dialog works on; set by runOptionsDialog for its duration
// (the host shows one dialog at a time, on its own thread).
struct DialogContext {
    const SceneDocument* document = nullptr;
    ImportOptions* options = nullptr;
};
DialogContext g_context;

void writeAscii(const char* begin, const char* end, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return;
    int n = 0;
    for (const char* p = begin; p < end && n + 1 < capacity; ++p) buffer[n++] = static_cast<wchar_t>(*p);
    buffer[n] = L'\0';
}

void setCount(ui::WindowHandle dialog, int id, int64_t value) {
    wchar_t text[TEXT_BUFFER];
    formatCount(value, text, TEXT_BUFFER);
    ui::setItemText(dialog, id, text);
}

void fillControls(ui::WindowHandle dialog, const SceneDocument& doc, const ImportOptions& options) {
    int64_t vertices = 0;
    int64_t faces = 0;
    for (const GeometryRecord& g : doc.geometries) {
        vertices += countOf(g.vertices);
        faces += countOf(g.faces);
    }
    setCount(dialog, ID_FILE_VERSION, doc.version);
    setCount(dialog, ID_VERTICES, vertices);
    setCount(dialog, ID_FACES, faces);
    setCount(dialog, ID_LIGHTS, doc.lightsInFile);
    setCount(dialog, ID_MATERIALS, doc.materialsInFile);
    setCount(dialog, ID_TEXTURES, doc.texturesInFile);
    setCount(dialog, ID_BONES, doc.boneNodesInFile);
    setCount(dialog, ID_ANIMATIONS, doc.animationsInFile);
    wchar_t scale[TEXT_BUFFER];
    formatScale(options.scale, scale, TEXT_BUFFER);
    ui::setItemText(dialog, ID_SCALE, scale);
    ui::setItemChecked(dialog, ID_IMPORT_LIGHTS, options.importLights == 1);
    ui::setItemChecked(dialog, ID_SCENE_MESHES_ONLY, options.sceneMeshesOnly == 1);
    ui::setItemChecked(dialog, ID_PRUNE_BONES, options.pruneBones == 1);
    ui::setItemChecked(dialog, ID_SWAP_MODEL, options.swapModel == 1);
}

void placeOverDesktop(ui::WindowHandle dialog) {
    ui::WindowHandle desktop = ui::desktopWindow();
    if (dialog == nullptr || desktop == nullptr) return;
    ui::Rect own;
    ui::Rect area;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    if (!ui::windowRect(dialog, own) || !ui::windowRect(desktop, area)) return;
    if (!ui::screenSize(dialog, screenWidth, screenHeight)) return;
    DialogPosition p = centreOverDesktop(own, area, screenWidth, screenHeight);
    ui::moveWindow(dialog, p.x, p.y);
}

void storeOptions(ui::WindowHandle dialog, ImportOptions& options) {
    wchar_t text[TEXT_BUFFER];
    ui::getItemText(dialog, ID_SCALE, text, TEXT_BUFFER);
    options.scale = scaleFromText(text);
    options.importLights = ui::isItemChecked(dialog, ID_IMPORT_LIGHTS) ? 1 : 0;
    options.sceneMeshesOnly = ui::isItemChecked(dialog, ID_SCENE_MESHES_ONLY) ? 1 : 0;
    options.pruneBones = ui::isItemChecked(dialog, ID_PRUNE_BONES) ? 1 : 0;
    options.swapModel = ui::isItemChecked(dialog, ID_SWAP_MODEL) ? 1 : 0;
}

int32_t clampTo32(int64_t v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(v);
}

int32_t centreAxis(int64_t extent, int64_t areaStart, int64_t areaExtent, int64_t screenExtent) {
    int64_t pos = (areaExtent - extent) / 2 + areaStart;
    if (pos < 0) {
        pos = 0;
    } else if (pos + extent > screenExtent) {
        pos = screenExtent - extent;
    }
    return clampTo32(pos);
}

} // namespace

DialogPosition centreOverDesktop(const ui::Rect& dialog, const ui::Rect& desktop, int32_t screenWidth,
                                 int32_t screenHeight) {
    int64_t w = int64_t{dialog.right} - dialog.left;
    int64_t h = int64_t{dialog.bottom} - dialog.top;
    int64_t areaWidth = int64_t{desktop.right} - desktop.left;
    int64_t areaHeight = int64_t{desktop.bottom} - desktop.top;
    return DialogPosition{centreAxis(w, desktop.left, areaWidth, screenWidth),
                          centreAxis(h, desktop.top, areaHeight, screenHeight)};
}

float scaleFromText(const wchar_t* text) {
    if (text == nullptr || text[0] == L'\0') return 1.0f;
    // A fixed buffer, not a string: this runs inside the dialog's window
    // procedure, where no exception may arise.
    wchar_t field[TEXT_BUFFER];
    std::size_t n = 0;
    for (; n + 1 < std::size(field) && text[n] != L'\0'; ++n) field[n] = text[n];
    field[n] = L'\0';
    char narrow[4 * TEXT_BUFFER]; // the UTF-8 form of any TEXT_BUFFER - 1 characters
    wideToNarrow(field, narrow, sizeof narrow);
    float value = static_cast<float>(parseDouble(narrow));
    if (!std::isfinite(value) || value < 1.0f) return 1.0f;
    return value;
}

void formatScale(float scale, wchar_t* buffer, int capacity) {
    char text[512];
    auto res = std::to_chars(text, text + sizeof text, static_cast<double>(scale), std::chars_format::fixed, 3);
    writeAscii(text, res.ec == std::errc() ? res.ptr : text, buffer, capacity);
}

void formatCount(int64_t value, wchar_t* buffer, int capacity) {
    char text[32];
    auto res = std::to_chars(text, text + sizeof text, value);
    writeAscii(text, res.ptr, buffer, capacity);
}

intptr_t optionsDialogProcedure(ui::WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t /*lParam*/) {
    if (g_context.document == nullptr || g_context.options == nullptr) return 0;
    if (message == ui::MESSAGE_INIT_DIALOG) {
        fillControls(dialog, *g_context.document, *g_context.options);
        placeOverDesktop(dialog);
        return 1;
    }
    if (message == ui::MESSAGE_COMMAND) {
        int id = static_cast<int>(wParam & 0xFFFF);
        if (id == ui::ID_OK) {
            storeOptions(dialog, *g_context.options);
            ui::endDialog(dialog, 1);
            return 1;
        }
        if (id == ui::ID_CANCEL) {
            ui::endDialog(dialog, 0);
            return 1;
        }
    }
    return 0;
}

intptr_t runOptionsDialog(void* module, ui::WindowHandle owner, const SceneDocument& doc, ImportOptions& options) {
    DialogContext previous = g_context;
    g_context = DialogContext{&doc, &options};
    intptr_t result = ui::showModalDialog(module, OPTIONS_DIALOG_TEMPLATE, owner, &optionsDialogProcedure, 0);
    g_context = previous;
    return result;
}

} // namespace bxml
