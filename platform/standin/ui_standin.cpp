// The Linux stand-in for the dialog services: runs the dialog procedure
// in-process against an in-memory copy of the dialog template, with a
// scripted user in place of a person.
#include "platform/standin/ui_standin.h"

namespace bxml::ui {

namespace standin {

namespace {

struct StandInState {
    DialogUser user;
    Rect desktop{0, 0, 1920, 1080};
    int32_t screenWidth = 1920;
    int32_t screenHeight = 1080;
    bool desktopPresent = true;
    // 217 x 215 dialog units at the base units of an 8-point "MS Sans Serif"
    // (6 x 13 pixels per 4 x 8 units).
    int32_t dialogWidth = 326;
    int32_t dialogHeight = 350;
    int shown = 0;
};

StandInState& state() {
    static StandInState s;
    return s;
}

// The desktop window's handle: any non-null value the stand-in recognises.
int g_desktopTag = 0;

void addControl(DialogSession& s, int id, ControlKind kind, const wchar_t* text) {
    Control c;
    c.id = id;
    c.kind = kind;
    c.text = text;
    s.controls.push_back(c);
}

// The controls of the dialog templates, in tab order, as the resource script
// declares them.
bool loadTemplate(int templateId, DialogSession& s) {
    using K = ControlKind;
    constexpr int NO_ID = 0xFFFF;
    if (templateId == 101) {
        s.caption = L"Import Blender XML Model";
        addControl(s, 1, K::DefaultButton, L"OK");
        addControl(s, 2, K::Button, L"Cancel");
        addControl(s, NO_ID, K::GroupBox, L"Info");
        addControl(s, NO_ID, K::RightLabel, L"file version:");
        addControl(s, 1001, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"vertices:");
        addControl(s, 1007, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"faces:");
        addControl(s, 1009, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"lights:");
        addControl(s, 1006, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"materials:");
        addControl(s, 1005, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"textures:");
        addControl(s, 1011, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"bones:");
        addControl(s, 1004, K::Label, L"0");
        addControl(s, NO_ID, K::RightLabel, L"animations:");
        addControl(s, 1012, K::Label, L"0");
        addControl(s, NO_ID, K::GroupBox, L"Scale Options");
        addControl(s, NO_ID, K::Label, L"scale:");
        addControl(s, 1021, K::Edit, L"");
        addControl(s, NO_ID, K::GroupBox, L"Misc Options");
        addControl(s, 2048, K::CheckBox, L"Import lights");
        addControl(s, 2049, K::CheckBox, L"Import scene meshes only");
        addControl(s, 2047, K::CheckBox, L"Prune bones");
        addControl(s, 2046, K::CheckBox, L"Swap model");
        return true;
    }
    if (templateId == 102) {
        s.caption = L"Save Blender XML Model";
        addControl(s, 1, K::DefaultButton, L"OK");
        addControl(s, 2, K::Button, L"Cancel");
        addControl(s, NO_ID, K::GroupBox, L"Scale Options");
        addControl(s, NO_ID, K::Label, L"scale:");
        addControl(s, 1021, K::Edit, L"");
        addControl(s, NO_ID, K::GroupBox, L"Misc Options");
        addControl(s, 2046, K::CheckBox, L"Swap model");
        return true;
    }
    return false;
}

} // namespace

Control* DialogSession::find(int id) {
    for (Control& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

const Control* DialogSession::find(int id) const {
    for (const Control& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

bool DialogSession::exists(int id) const { return find(id) != nullptr; }

std::wstring DialogSession::text(int id) const {
    const Control* c = find(id);
    return c != nullptr ? c->text : std::wstring();
}

bool DialogSession::checked(int id) const {
    const Control* c = find(id);
    return c != nullptr && c->checked;
}

void DialogSession::type(int id, const std::wstring& value) {
    if (Control* c = find(id)) c->text = value;
}

void DialogSession::setChecked(int id, bool on) {
    Control* c = find(id);
    if (c != nullptr && c->kind == ControlKind::CheckBox) c->checked = on;
}

void DialogSession::press(int id) {
    if (ended || procedure == nullptr || find(id) == nullptr) return;
    procedure(this, MESSAGE_COMMAND, static_cast<uintptr_t>(id & 0xFFFF), 0);
}

void setDialogUser(DialogUser user) { state().user = std::move(user); }

void setDesktop(Rect desktop, int32_t screenWidth, int32_t screenHeight, bool present) {
    state().desktop = desktop;
    state().screenWidth = screenWidth;
    state().screenHeight = screenHeight;
    state().desktopPresent = present;
}

void setDialogSize(int32_t width, int32_t height) {
    state().dialogWidth = width;
    state().dialogHeight = height;
}

void resetStandIn() { state() = StandInState{}; }

int dialogsShown() { return state().shown; }

} // namespace standin

using standin::DialogSession;

namespace {
DialogSession* session(WindowHandle w) {
    if (w == nullptr || w == &standin::g_desktopTag) return nullptr;
    return static_cast<DialogSession*>(w);
}
} // namespace

intptr_t showModalDialog(void* /*module*/, int templateId, WindowHandle /*owner*/, DialogProcedure procedure,
                         intptr_t parameter) {
    auto& st = standin::state();
    DialogSession s;
    if (procedure == nullptr || !standin::loadTemplate(templateId, s)) return -1;
    ++st.shown;
    s.procedure = procedure;
    s.rect = Rect{0, 0, st.dialogWidth, st.dialogHeight};
    procedure(&s, MESSAGE_INIT_DIALOG, 0, parameter);
    if (!s.ended) {
        if (st.user) {
            st.user(s);
        } else {
            s.press(ID_CANCEL);
        }
    }
    // A user who leaves without pressing a button closes the dialog.
    return s.ended ? s.result : 0;
}

void endDialog(WindowHandle dialog, intptr_t result) {
    if (DialogSession* s = session(dialog)) {
        s->ended = true;
        s->result = result;
    }
}

void setItemText(WindowHandle dialog, int itemId, const wchar_t* text) {
    if (DialogSession* s = session(dialog))
        if (standin::Control* c = s->find(itemId)) c->text = text != nullptr ? text : L"";
}

int getItemText(WindowHandle dialog, int itemId, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return 0;
    buffer[0] = L'\0';
    DialogSession* s = session(dialog);
    const standin::Control* c = s != nullptr ? s->find(itemId) : nullptr;
    if (c == nullptr) return 0;
    int n = 0;
    while (n + 1 < capacity && static_cast<std::size_t>(n) < c->text.size()) {
        buffer[n] = c->text[static_cast<std::size_t>(n)];
        ++n;
    }
    buffer[n] = L'\0';
    return n;
}

void setItemChecked(WindowHandle dialog, int itemId, bool checked) {
    if (DialogSession* s = session(dialog)) s->setChecked(itemId, checked);
}

bool isItemChecked(WindowHandle dialog, int itemId) {
    DialogSession* s = session(dialog);
    return s != nullptr && s->checked(itemId);
}

WindowHandle desktopWindow() { return standin::state().desktopPresent ? &standin::g_desktopTag : nullptr; }

bool windowRect(WindowHandle window, Rect& rect) {
    if (window == nullptr) return false;
    if (window == &standin::g_desktopTag) {
        rect = standin::state().desktop;
        return true;
    }
    rect = session(window)->rect;
    return true;
}

bool screenSize(WindowHandle window, int32_t& width, int32_t& height) {
    if (window == nullptr) return false;
    width = standin::state().screenWidth;
    height = standin::state().screenHeight;
    return true;
}

void moveWindow(WindowHandle window, int32_t x, int32_t y) {
    if (DialogSession* s = session(window)) {
        int32_t w = s->rect.right - s->rect.left;
        int32_t h = s->rect.bottom - s->rect.top;
        s->rect = Rect{x, y, x + w, y + h};
    }
}

} // namespace bxml::ui
