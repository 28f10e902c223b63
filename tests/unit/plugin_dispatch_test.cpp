// Message dispatch on a plug-in state of the test's own.
#include <gtest/gtest.h>

#include "document/storage.h"
#include "host/plugin_loader.h"
#include "host/reference_host.h"
#include "plugin/plugin_state.h"

#ifndef _WIN32
#include "platform/standin/ui_standin.h"
#endif

using namespace bxml;

namespace {
int32_t dummyCallback(int32_t, HostScene*, void*, int32_t) { return 0; }
} // namespace

TEST(Dispatch, InitStoresTheModuleHandleAndTheGivenCallback) {
    PluginState state;
    host::RefPluginInfo info;
    EXPECT_EQ(dispatchPluginProc(state, PLUGIN_INIT, &info, 0xABCDEF, &dummyCallback), 1);
    EXPECT_EQ(state.moduleHandle, 0xABCDEFu);
    EXPECT_EQ(info.callback, &dummyCallback);
}

TEST(Dispatch, NullInfoWritesNothing) {
    PluginState state;
    EXPECT_EQ(dispatchPluginProc(state, PLUGIN_INIT, nullptr, 42, &dummyCallback), 0);
    EXPECT_EQ(state.moduleHandle, 0u);
}

TEST(Dispatch, CallbackRecordsTheSceneOnlyWhenTheArgumentsArePresent) {
    PluginState state;
    host::ReferenceScene scene;
    int extra = 0;
    EXPECT_EQ(dispatchHostCallback(state, IMPORT_OPTIONS_REQUEST, &scene, nullptr), 0);
    EXPECT_EQ(state.currentScene, nullptr);
    EXPECT_EQ(dispatchHostCallback(state, 0x12345, &scene, &extra), 0);
    EXPECT_EQ(state.currentScene, nullptr) << "unknown messages change nothing";
    EXPECT_EQ(dispatchHostCallback(state, EXPORT_REQUEST, &scene, nullptr), 0);
    EXPECT_EQ(state.currentScene, &scene);
}

TEST(Dispatch, OptionsRequestAlwaysLeavesTheDocumentEmpty) {
    PluginState state;
    host::ReferenceScene scene;
    int extra = 0;
    ASSERT_EQ(allocate(state.document.lights, 2), 1);
    state.document.lightsInFile = 2;
    // Whatever the answer (other tests check it), the document ends empty.
    (void)dispatchHostCallback(state, IMPORT_OPTIONS_REQUEST, &scene, &extra);
    EXPECT_TRUE(isDocumentEmpty(state.document));
}

#ifndef _WIN32
TEST(Dispatch, OptionsRequestAnswersTheDialogAndEmptiesTheDocumentEitherWay) {
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        PluginState state;
        host::ReferenceScene scene;
        int module = 0;
        ui::standin::resetStandIn();
        ui::standin::setDialogUser([ok](ui::standin::DialogSession& s) { s.press(ok ? ui::ID_OK : ui::ID_CANCEL); });
        ASSERT_EQ(allocate(state.document.lights, 2), 1);
        state.document.lightsInFile = 2;
        EXPECT_EQ(dispatchHostCallback(state, IMPORT_OPTIONS_REQUEST, &scene, &module), ok ? 1 : 2);
        EXPECT_EQ(ui::standin::dialogsShown(), 1);
        EXPECT_TRUE(isDocumentEmpty(state.document));
    }
    ui::standin::resetStandIn();
}
#endif
