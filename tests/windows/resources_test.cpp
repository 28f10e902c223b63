// The resources compiled into bxml-importer.dll, read back the way Windows
// reads them: the dialog templates control by control, and the version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

constexpr WORD NO_ID = 65535;

// Predefined window classes of dialog controls, as ordinals in a template.
constexpr WORD BUTTON_CLASS = 0x0080;
constexpr WORD EDIT_CLASS = 0x0081;
constexpr WORD STATIC_CLASS = 0x0082;

struct Control {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    WORD classOrdinal = 0; // 0 when the class is named
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring fontName;
    std::vector<Control> controls;
};

// Reads a DLGTEMPLATE or DLGTEMPLATEEX. Fails (nullopt) on a resource that
// ends early; the test then reports the template as unreadable.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    std::optional<DialogTemplate> read() {
        DialogTemplate dialog;
        WORD count = 0;
        const bool extended = size_ >= 4 && word(0) == 1 && word(2) == 0xFFFF;
        if (extended) {
            pos_ = 8; // dlgVer, signature, helpID
            skip(4);  // exStyle
            dialog.style = dword();
        } else {
            dialog.style = dword();
            skip(4); // exStyle
        }
        count = nextWord();
        dialog.x = static_cast<short>(nextWord());
        dialog.y = static_cast<short>(nextWord());
        dialog.cx = static_cast<short>(nextWord());
        dialog.cy = static_cast<short>(nextWord());
        skipNameOrOrdinal(); // menu
        skipNameOrOrdinal(); // class
        dialog.caption = string();
        if (dialog.style & DS_SETFONT) {
            dialog.pointSize = nextWord();
            if (extended) skip(4); // weight, italic, charset
            dialog.fontName = string();
        }
        for (WORD i = 0; i < count && ok_; ++i) {
            align4();
            Control control;
            if (extended) {
                skip(4); // helpID
                skip(4); // exStyle
                control.style = dword();
            } else {
                control.style = dword();
                skip(4); // exStyle
            }
            control.x = static_cast<short>(nextWord());
            control.y = static_cast<short>(nextWord());
            control.cx = static_cast<short>(nextWord());
            control.cy = static_cast<short>(nextWord());
            control.id = extended ? dword() : nextWord();
            if (peekWord() == 0xFFFF) {
                skip(2);
                control.classOrdinal = nextWord();
            } else {
                control.className = string();
            }
            if (peekWord() == 0xFFFF) {
                skip(4); // a resource ordinal (icons); not used here
            } else {
                control.text = string();
            }
            skip(nextWord()); // creation data
            dialog.controls.push_back(control);
        }
        if (!ok_) return std::nullopt;
        return dialog;
    }

private:
    WORD word(size_t at) const {
        WORD value = 0;
        if (at + 2 <= size_) std::memcpy(&value, data_ + at, 2);
        return value;
    }
    void skip(size_t n) {
        if (pos_ + n > size_) ok_ = false;
        pos_ += n;
    }
    WORD peekWord() {
        if (pos_ + 2 > size_) ok_ = false;
        return word(pos_);
    }
    WORD nextWord() {
        WORD value = peekWord();
        pos_ += 2;
        return value;
    }
    DWORD dword() {
        DWORD low = nextWord();
        DWORD high = nextWord();
        return low | (high << 16);
    }
    std::wstring string() {
        std::wstring text;
        while (ok_) {
            WORD c = nextWord();
            if (c == 0) break;
            text.push_back(static_cast<wchar_t>(c));
        }
        return text;
    }
    void skipNameOrOrdinal() {
        WORD first = peekWord();
        if (first == 0xFFFF) skip(4);
        else string();
    }
    void align4() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }

    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

std::wstring pluginPath() {
    wchar_t exe[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"bxml-importer.dll";
}

// The plug-in loaded as a resource file: its code is neither run nor bound.
class PluginResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ =
            LoadLibraryExW(pluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << std::wstring(pluginPath()) << " (error " << GetLastError()
                                    << ")";
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    std::optional<DialogTemplate> dialog(int id) const {
        HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!info) return std::nullopt;
        HGLOBAL handle = LoadResource(module_, info);
        const void* data = handle ? LockResource(handle) : nullptr;
        if (!data) return std::nullopt;
        return TemplateReader(static_cast<const BYTE*>(data), SizeofResource(module_, info)).read();
    }

    HMODULE module_ = nullptr;
};

enum class Kind { DefaultPushButton, PushButton, GroupBox, RightLabel, Label, Edit, AutoCheckBox };

struct Expected {
    WORD id;
    Kind kind;
    const wchar_t* text;
    short x, y, cx, cy;
};

// Which control a template entry makes, from its class and style.
std::optional<Kind> kindOf(const Control& c) {
    if (!c.className.empty()) return std::nullopt;
    switch (c.classOrdinal) {
    case BUTTON_CLASS:
        switch (c.style & BS_TYPEMASK) {
        case BS_DEFPUSHBUTTON:
            return Kind::DefaultPushButton;
        case BS_PUSHBUTTON:
            return Kind::PushButton;
        case BS_GROUPBOX:
            return Kind::GroupBox;
        case BS_AUTOCHECKBOX:
            return Kind::AutoCheckBox;
        default:
            return std::nullopt;
        }
    case STATIC_CLASS:
        switch (c.style & SS_TYPEMASK) {
        case SS_RIGHT:
            return Kind::RightLabel;
        case SS_LEFT:
            return Kind::Label;
        default:
            return std::nullopt;
        }
    case EDIT_CLASS:
        if ((c.style & WS_BORDER) && (c.style & ES_AUTOHSCROLL)) return Kind::Edit;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

const char* kindName(std::optional<Kind> kind) {
    if (!kind) return "unrecognised";
    switch (*kind) {
    case Kind::DefaultPushButton:
        return "default push button";
    case Kind::PushButton:
        return "push button";
    case Kind::GroupBox:
        return "group box";
    case Kind::RightLabel:
        return "right-aligned label";
    case Kind::Label:
        return "label";
    case Kind::Edit:
        return "bordered edit scrolling horizontally";
    case Kind::AutoCheckBox:
        return "automatic check box";
    }
    return "?";
}

const Expected IMPORT_OPTIONS_CONTROLS[] = {
    {IDOK, Kind::DefaultPushButton, L"OK", 160, 10, 50, 14},
    {IDCANCEL, Kind::PushButton, L"Cancel", 160, 27, 50, 14},
    {NO_ID, Kind::GroupBox, L"Info", 5, 5, 145, 100},
    {NO_ID, Kind::RightLabel, L"file version:", 15, 20, 36, 8},
    {IDC_FILE_VERSION, Kind::Label, L"0", 55, 20, 90, 8},
    {NO_ID, Kind::RightLabel, L"vertices:", 23, 30, 28, 8},
    {IDC_VERTEX_COUNT, Kind::Label, L"0", 55, 30, 90, 8},
    {NO_ID, Kind::RightLabel, L"faces:", 22, 40, 29, 8},
    {IDC_FACE_COUNT, Kind::Label, L"0", 55, 40, 90, 8},
    {NO_ID, Kind::RightLabel, L"lights:", 32, 50, 19, 8},
    {IDC_LIGHT_COUNT, Kind::Label, L"0", 55, 50, 90, 8},
    {NO_ID, Kind::RightLabel, L"materials:", 21, 60, 30, 8},
    {IDC_MATERIAL_COUNT, Kind::Label, L"0", 55, 60, 90, 8},
    {NO_ID, Kind::RightLabel, L"textures:", 23, 70, 28, 8},
    {IDC_TEXTURE_COUNT, Kind::Label, L"0", 55, 70, 90, 8},
    {NO_ID, Kind::RightLabel, L"bones:", 29, 80, 22, 8},
    {IDC_BONE_COUNT, Kind::Label, L"0", 55, 80, 90, 8},
    {NO_ID, Kind::RightLabel, L"animations:", 15, 90, 36, 8},
    {IDC_ANIMATION_COUNT, Kind::Label, L"0", 55, 90, 85, 8},
    {NO_ID, Kind::GroupBox, L"Scale Options", 5, 110, 145, 35},
    {NO_ID, Kind::Label, L"scale:", 15, 126, 20, 10},
    {IDC_SCALE, Kind::Edit, L"", 40, 125, 50, 12},
    {NO_ID, Kind::GroupBox, L"Misc Options", 5, 150, 145, 60},
    {IDC_IMPORT_LIGHTS, Kind::AutoCheckBox, L"Import lights", 15, 165, 115, 8},
    {IDC_SCENE_MESHES_ONLY, Kind::AutoCheckBox, L"Import scene meshes only", 15, 175, 115, 8},
    {IDC_PRUNE_BONES, Kind::AutoCheckBox, L"Prune bones", 15, 185, 115, 8},
    {IDC_SWAP_MODEL, Kind::AutoCheckBox, L"Swap model", 15, 195, 115, 8},
};

constexpr DWORD MODAL_POPUP_STYLE = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;

} // namespace

TEST_F(PluginResources, ImportOptionsDialogIsModalPopupWithCaptionAndFont) {
    auto dialog = this->dialog(IDD_IMPORT_OPTIONS);
    ASSERT_TRUE(dialog.has_value()) << "template 101 missing or unreadable";
    EXPECT_EQ(dialog->style, MODAL_POPUP_STYLE) << std::hex << dialog->style;
    EXPECT_EQ(dialog->caption, L"Import Blender XML Model");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->fontName, L"MS Sans Serif");
    EXPECT_EQ(dialog->cx, 217);
    EXPECT_EQ(dialog->cy, 215);
}

TEST_F(PluginResources, ImportOptionsControlsInTabOrderWithIdsTextsAndPlaces) {
    auto dialog = this->dialog(IDD_IMPORT_OPTIONS);
    ASSERT_TRUE(dialog.has_value()) << "template 101 missing or unreadable";
    const size_t expectedCount = std::size(IMPORT_OPTIONS_CONTROLS);
    ASSERT_EQ(dialog->controls.size(), expectedCount);
    for (size_t i = 0; i < expectedCount; ++i) {
        const Expected& want = IMPORT_OPTIONS_CONTROLS[i];
        const Control& got = dialog->controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " \"" << std::wstring(want.text) << "\"");
        EXPECT_EQ(got.id, want.id);
        EXPECT_STREQ(kindName(kindOf(got)), kindName(want.kind));
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_TRUE(got.style & WS_VISIBLE);
    }
}

TEST_F(PluginResources, ImportOptionsInputsAreReachedWithTab) {
    auto dialog = this->dialog(IDD_IMPORT_OPTIONS);
    ASSERT_TRUE(dialog.has_value());
    for (const Control& c : dialog->controls) {
        auto kind = kindOf(c);
        const bool input = kind == Kind::DefaultPushButton || kind == Kind::PushButton || kind == Kind::Edit ||
                           kind == Kind::AutoCheckBox;
        if (input) {
            EXPECT_TRUE(c.style & WS_TABSTOP) << "control " << c.id;
        }
    }
}

TEST_F(PluginResources, ExportOptionsDialogExistsWithItsCaption) {
    auto dialog = this->dialog(IDD_EXPORT_OPTIONS);
    ASSERT_TRUE(dialog.has_value()) << "template 102 missing or unreadable";
    EXPECT_EQ(dialog->caption, L"Save Blender XML Model");
    EXPECT_EQ(dialog->style, MODAL_POPUP_STYLE) << std::hex << dialog->style;
    ASSERT_GE(dialog->controls.size(), 2u);
    EXPECT_EQ(dialog->controls[0].id, static_cast<DWORD>(IDOK));
    EXPECT_EQ(dialog->controls[1].id, static_cast<DWORD>(IDCANCEL));
}

TEST(PluginVersionBlock, FileAndProductVersionAre3_50_60WithDescription) {
    const std::wstring path = pluginPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version block in " << path;
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_GE(fixedSize, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(50, 3)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, 60)));
    EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(MAKELONG(50, 3)));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(0, 60)));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT translationSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &translationSize));
    ASSERT_GE(translationSize, sizeof(Translation));

    auto text = [&](const wchar_t* name) -> std::wstring {
        wchar_t key[128];
        std::swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->codePage, name);
        wchar_t* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &length) || !value) return L"(none)";
        return value;
    };
    EXPECT_EQ(text(L"FileDescription"), L"Blender XML Importer");
    EXPECT_EQ(text(L"FileVersion"), L"3.50.60");
    EXPECT_EQ(text(L"ProductVersion"), L"3.50.60");
}
