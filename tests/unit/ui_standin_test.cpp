// The Linux stand-in's dialog templates against the resource script that the
// Windows build compiles: same caption, same controls in the same order.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/standin/ui_standin.h"
#include "resources/resource.h"

namespace {

using bxml::ui::standin::Control;
using bxml::ui::standin::ControlKind;
using bxml::ui::standin::DialogSession;

struct Template {
    std::wstring caption;
    std::vector<Control> controls;
};

std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The quoted text at the start of rest (after the keyword), and what follows
// it; false when rest does not start with a quote.
bool takeQuoted(std::string& rest, std::string& text) {
    const std::size_t open = rest.find_first_not_of(" \t");
    if (open == std::string::npos || rest[open] != '"') return false;
    const std::size_t close = rest.find('"', open + 1);
    if (close == std::string::npos) return false;
    text = rest.substr(open + 1, close - open - 1);
    rest = rest.substr(close + 1);
    return true;
}

// The first comma-separated field of rest (after a leading comma), trimmed.
std::string firstField(const std::string& rest) {
    const std::size_t a = rest.find_first_not_of(" \t,");
    if (a == std::string::npos) return std::string();
    const std::string field = rest.substr(a, rest.find(',', a) - a);
    return field.substr(0, field.find_last_not_of(" \t") + 1);
}

int idOf(const std::string& symbol) {
    static const std::map<std::string, int> ids = {
        {"IDOK", 1},
        {"IDCANCEL", 2},
        {"65535", 0xFFFF},
        {"IDC_FILE_VERSION", IDC_FILE_VERSION},
        {"IDC_BONE_COUNT", IDC_BONE_COUNT},
        {"IDC_MATERIAL_COUNT", IDC_MATERIAL_COUNT},
        {"IDC_LIGHT_COUNT", IDC_LIGHT_COUNT},
        {"IDC_VERTEX_COUNT", IDC_VERTEX_COUNT},
        {"IDC_FACE_COUNT", IDC_FACE_COUNT},
        {"IDC_TEXTURE_COUNT", IDC_TEXTURE_COUNT},
        {"IDC_ANIMATION_COUNT", IDC_ANIMATION_COUNT},
        {"IDC_SCALE", IDC_SCALE},
        {"IDC_SWAP_MODEL", IDC_SWAP_MODEL},
        {"IDC_PRUNE_BONES", IDC_PRUNE_BONES},
        {"IDC_IMPORT_LIGHTS", IDC_IMPORT_LIGHTS},
        {"IDC_SCENE_MESHES_ONLY", IDC_SCENE_MESHES_ONLY},
    };
    const auto it = ids.find(symbol);
    return it == ids.end() ? -1 : it->second;
}

// The template named name in the resource script, as far as the stand-in
// mirrors it (caption, kinds, ids and texts; positions are the Windows
// build's own concern).
Template templateFromScript(const std::string& name) {
    static const std::map<std::string, ControlKind> kinds = {
        {"DEFPUSHBUTTON", ControlKind::DefaultButton},
        {"PUSHBUTTON", ControlKind::Button},
        {"GROUPBOX", ControlKind::GroupBox},
        {"LTEXT", ControlKind::Label},
        {"RTEXT", ControlKind::RightLabel},
        {"EDITTEXT", ControlKind::Edit},
        {"AUTOCHECKBOX", ControlKind::CheckBox},
    };
    Template t;
    std::ifstream in(BXML_RESOURCE_SCRIPT);
    std::string line;
    bool inside = false;
    bool body = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (!inside) {
            std::string second;
            words >> second;
            inside = first == name && second == "DIALOG";
            continue;
        }
        if (first == "CAPTION") {
            std::string rest = line.substr(line.find("CAPTION") + 7);
            std::string caption;
            if (takeQuoted(rest, caption)) t.caption = widen(caption);
        } else if (first == "BEGIN") {
            body = true;
        } else if (first == "END") {
            break;
        } else if (body && kinds.count(first) != 0) {
            Control c;
            c.kind = kinds.at(first);
            std::string rest = line.substr(line.find(first) + first.size());
            std::string text;
            if (takeQuoted(rest, text)) c.text = widen(text);
            c.id = idOf(firstField(rest));
            t.controls.push_back(c);
        }
    }
    return t;
}

intptr_t ignoreEverything(bxml::ui::WindowHandle, uint32_t, uintptr_t, intptr_t) { return 0; }

Template templateOfStandIn(int id) {
    Template t;
    bxml::ui::standin::resetStandIn();
    bxml::ui::standin::setDialogUser([&t](DialogSession& s) {
        t.caption = s.caption;
        t.controls = s.controls;
        s.press(bxml::ui::ID_CANCEL);
    });
    int module = 0;
    bxml::ui::showModalDialog(&module, id, nullptr, &ignoreEverything, 0);
    bxml::ui::standin::resetStandIn();
    return t;
}

void expectSameTemplate(const std::string& name, int id) {
    SCOPED_TRACE(name);
    const Template script = templateFromScript(name);
    const Template standIn = templateOfStandIn(id);
    ASSERT_FALSE(script.controls.empty()) << "template not found in " << BXML_RESOURCE_SCRIPT;
    EXPECT_EQ(standIn.caption, script.caption);
    ASSERT_EQ(standIn.controls.size(), script.controls.size());
    for (std::size_t i = 0; i < script.controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(standIn.controls[i].id, script.controls[i].id);
        EXPECT_EQ(standIn.controls[i].kind, script.controls[i].kind);
        EXPECT_EQ(standIn.controls[i].text, script.controls[i].text);
    }
}

} // namespace

TEST(StandInTemplates, MirrorTheResourceScript) {
    expectSameTemplate("IDD_IMPORT_OPTIONS", IDD_IMPORT_OPTIONS);
    expectSameTemplate("IDD_EXPORT_OPTIONS", IDD_EXPORT_OPTIONS);
}

#endif
