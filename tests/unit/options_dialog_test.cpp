// The options dialog procedure, run against the user-interface stand-in.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "document/storage.h"
#include "plugin/options_dialog.h"

#ifndef _WIN32
#include "platform/standin/ui_standin.h"
#endif

using namespace bxml;

TEST(DialogPlacement, CentresOverTheDesktop) {
    DialogPosition p = centreOverDesktop(ui::Rect{0, 0, 300, 200}, ui::Rect{0, 0, 1000, 800}, 1000, 800);
    EXPECT_EQ(p.x, 350);
    EXPECT_EQ(p.y, 300);
    // The desktop's origin is added; odd differences truncate.
    p = centreOverDesktop(ui::Rect{0, 0, 301, 201}, ui::Rect{100, 50, 1100, 850}, 2000, 2000);
    EXPECT_EQ(p.x, 449);
    EXPECT_EQ(p.y, 299 + 50);
}

TEST(DialogPlacement, NegativePositionBecomesZero) {
    DialogPosition p = centreOverDesktop(ui::Rect{0, 0, 500, 400}, ui::Rect{0, 0, 300, 200}, 300, 200);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(DialogPlacement, OverflowingTheScreenIsPulledBackToItsEdge) {
    DialogPosition p = centreOverDesktop(ui::Rect{0, 0, 300, 200}, ui::Rect{900, 700, 1900, 1500}, 1200, 900);
    EXPECT_EQ(p.x, 1200 - 300);
    EXPECT_EQ(p.y, 900 - 200);
}

TEST(DialogScale, EmptyOrBelowOneGivesOne) {
    EXPECT_EQ(scaleFromText(L""), 1.0f);
    EXPECT_EQ(scaleFromText(L"0"), 1.0f);
    EXPECT_EQ(scaleFromText(L"0.5"), 1.0f);
    EXPECT_EQ(scaleFromText(L"-3"), 1.0f);
    EXPECT_EQ(scaleFromText(L"abc"), 1.0f);
    EXPECT_EQ(scaleFromText(L"nan"), 1.0f);
    EXPECT_EQ(scaleFromText(L"inf"), 1.0f);
}

TEST(DialogScale, LeadingNumberIsTaken) {
    EXPECT_EQ(scaleFromText(L"2.5"), 2.5f);
    EXPECT_EQ(scaleFromText(L"  3.25cm"), 3.25f);
    EXPECT_EQ(scaleFromText(L"1e1"), 10.0f);
}

TEST(DialogScale, OnlyTheFirst127CharactersCount) {
    EXPECT_EQ(scaleFromText((std::wstring(126, L' ') + L"2").c_str()), 2.0f);
    EXPECT_EQ(scaleFromText((std::wstring(127, L' ') + L"2").c_str()), 1.0f);
    EXPECT_EQ(scaleFromText((L"3.5" + std::wstring(500, L'\u00e9')).c_str()), 3.5f);
}

TEST(DialogScale, ShownWithThreeDecimals) {
    wchar_t text[128];
    formatScale(1.0f, text, 128);
    EXPECT_EQ(std::wstring(text), L"1.000");
    formatScale(2.5f, text, 128);
    EXPECT_EQ(std::wstring(text), L"2.500");
    formatScale(1.0005f, text, 128); // the float is slightly below 1.0005
    EXPECT_EQ(std::wstring(text), L"1.000");
    formatCount(-42, text, 128);
    EXPECT_EQ(std::wstring(text), L"-42");
}

#ifndef _WIN32

namespace {

using ui::standin::DialogSession;

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override { ui::standin::resetStandIn(); }
    void TearDown() override { ui::standin::resetStandIn(); }

    intptr_t run(const std::function<void(DialogSession&)>& user) {
        ui::standin::setDialogUser(user);
        int module = 0;
        return runOptionsDialog(&module, &module, doc, options);
    }

    SceneDocument doc;
    ImportOptions options;
};

} // namespace

TEST_F(OptionsDialog, FirstDialogShowsTheLoadValues) {
    std::wstring scale;
    bool lights = true, meshes = false, prune = false, swap = false;
    intptr_t result = run([&](DialogSession& s) {
        scale = s.text(ID_SCALE);
        lights = s.checked(ID_IMPORT_LIGHTS);
        meshes = s.checked(ID_SCENE_MESHES_ONLY);
        prune = s.checked(ID_PRUNE_BONES);
        swap = s.checked(ID_SWAP_MODEL);
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(scale, L"1.000");
    EXPECT_FALSE(lights);
    EXPECT_TRUE(meshes);
    EXPECT_TRUE(prune);
    EXPECT_TRUE(swap);
}

TEST_F(OptionsDialog, ShowsTheCountsOfTheDocument) {
    doc.version = 3;
    ASSERT_EQ(allocate(doc.geometries, 2), 1);
    ASSERT_EQ(allocate(doc.geometries[0].vertices, 8), 1);
    ASSERT_EQ(allocate(doc.geometries[1].vertices, 4), 1);
    ASSERT_EQ(allocate(doc.geometries[1].faces, 2), 1);
    doc.lightsInFile = 2;
    doc.materialsInFile = 5;
    doc.texturesInFile = 6;
    doc.boneNodesInFile = 7;
    doc.animationsInFile = 1;
    std::map<int, std::wstring> texts;
    run([&](DialogSession& s) {
        for (int id :
             {ID_FILE_VERSION, ID_VERTICES, ID_FACES, ID_LIGHTS, ID_MATERIALS, ID_TEXTURES, ID_BONES, ID_ANIMATIONS})
            texts[id] = s.text(id);
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(texts[ID_FILE_VERSION], L"3");
    EXPECT_EQ(texts[ID_VERTICES], L"12");
    EXPECT_EQ(texts[ID_FACES], L"2");
    EXPECT_EQ(texts[ID_LIGHTS], L"2");
    EXPECT_EQ(texts[ID_MATERIALS], L"5");
    EXPECT_EQ(texts[ID_TEXTURES], L"6");
    EXPECT_EQ(texts[ID_BONES], L"7");
    EXPECT_EQ(texts[ID_ANIMATIONS], L"1");
}

TEST_F(OptionsDialog, OkStoresScaleAndBoxes) {
    intptr_t result = run([](DialogSession& s) {
        s.type(ID_SCALE, L"2.5");
        s.setChecked(ID_IMPORT_LIGHTS, true);
        s.setChecked(ID_SCENE_MESHES_ONLY, false);
        s.setChecked(ID_PRUNE_BONES, false);
        s.press(ui::ID_OK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(options.scale, 2.5f);
    EXPECT_EQ(options.importLights, 1);
    EXPECT_EQ(options.sceneMeshesOnly, 0);
    EXPECT_EQ(options.pruneBones, 0);
    EXPECT_EQ(options.swapModel, 1);
    std::wstring shown;
    run([&](DialogSession& s) {
        shown = s.text(ID_SCALE);
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(shown, L"2.500");
}

TEST_F(OptionsDialog, CancelStoresNothing) {
    intptr_t result = run([](DialogSession& s) {
        s.type(ID_SCALE, L"9");
        s.setChecked(ID_SWAP_MODEL, false);
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(options.scale, 1.0f);
    EXPECT_EQ(options.swapModel, 1);
}

TEST_F(OptionsDialog, OtherCommandsAreLeftUnhandled) {
    intptr_t result = run([](DialogSession& s) {
        s.press(ID_IMPORT_LIGHTS); // a check box click is no command of ours
        EXPECT_FALSE(s.ended);
        s.press(ui::ID_OK);
    });
    EXPECT_EQ(result, 1);
}

TEST_F(OptionsDialog, WithoutAUserTheDialogIsCancelled) {
    ui::standin::setDialogUser({});
    int module = 0;
    EXPECT_EQ(runOptionsDialog(&module, &module, doc, options), 0);
    EXPECT_EQ(ui::standin::dialogsShown(), 1);
}

TEST_F(OptionsDialog, IsPlacedOverTheDesktop) {
    ui::standin::setDesktop(ui::Rect{0, 0, 1000, 800}, 1000, 800);
    ui::standin::setDialogSize(300, 200);
    ui::Rect where;
    run([&](DialogSession& s) {
        where = s.rect;
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(where.left, 350);
    EXPECT_EQ(where.top, 300);
    EXPECT_EQ(where.right, 650);
}

TEST_F(OptionsDialog, WithoutADesktopWindowIsNotMoved) {
    ui::standin::setDesktop(ui::Rect{0, 0, 1000, 800}, 1000, 800, false);
    ui::standin::setDialogSize(300, 200);
    ui::Rect where{-1, -1, -1, -1};
    run([&](DialogSession& s) {
        where = s.rect;
        s.press(ui::ID_CANCEL);
    });
    EXPECT_EQ(where.left, 0);
    EXPECT_EQ(where.top, 0);
}

#endif
