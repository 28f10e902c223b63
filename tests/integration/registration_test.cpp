// Registration and message dispatch through the real exports of the built
// plug-in library, loaded the way the host loads it.
#include <gtest/gtest.h>

#include <cstring>

#include "host/plugin_loader.h"
#include "host/reference_host.h"
#include "platform/text.h"

#ifndef _WIN32
#include "platform/standin/ui_standin.h"
#endif

using namespace bxml;
using namespace bxml::host;

namespace {

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.load(defaultPluginPath(), 0x1234)) << plugin.library.error(); }
    LoadedPlugin plugin;
};

std::string narrowHalf(const HostString& s) { return s.narrow; }
std::string wideHalf(const HostString& s) { return wideToUtf8(s.wide); }

} // namespace

TEST_F(Registration, WritesDescriptionVersionFilterAndExtension) {
    EXPECT_EQ(plugin.versionResult, 3606);
    EXPECT_EQ(plugin.initResult, 1);
    EXPECT_EQ(plugin.info.registrationValue1, 1);
    EXPECT_EQ(plugin.info.registrationValue2, 2);
    EXPECT_NE(plugin.info.callback, nullptr);
    EXPECT_EQ(wideHalf(plugin.info.description), "Blender XML Importer\r\n");
    EXPECT_EQ(narrowHalf(plugin.info.description), "Blender XML Importer\r\n");
    EXPECT_EQ(wideHalf(plugin.info.version), "3.50.60");
    EXPECT_EQ(wideHalf(plugin.info.fileFilter), "Blender XML format files (*.xml)");
    ASSERT_EQ(plugin.info.extensions.size(), 1u);
    EXPECT_EQ(plugin.info.extensions[0], "xml");
    uint8_t zero[16] = {};
    EXPECT_NE(std::memcmp(plugin.info.classId, zero, 16), 0) << "class identifier not written";
}

TEST_F(Registration, ClassIdentifierIsTheSameOnEveryRegistration) {
    RefPluginInfo second;
    ASSERT_EQ(plugin.library.pluginProc(PLUGIN_INIT, &second, 0, 0), 1);
    EXPECT_EQ(std::memcmp(plugin.info.classId, second.classId, 16), 0);
}

TEST_F(Registration, RejectedExtensionAnswersZeroButKeepsWhatWasWritten) {
    RefPluginInfo info;
    info.acceptExtensions = 0;
    EXPECT_EQ(plugin.library.pluginProc(PLUGIN_INIT, &info, 7, 0), 0);
    EXPECT_EQ(info.addFileExtensionCalls, 1);
    EXPECT_EQ(wideHalf(info.version), "3.50.60");
    EXPECT_NE(info.callback, nullptr);
}

TEST_F(Registration, NullInfoAnswersZero) { EXPECT_EQ(plugin.library.pluginProc(PLUGIN_INIT, nullptr, 0, 0), 0); }

TEST_F(Registration, VersionQueryAnswers3606WhateverTheArguments) {
    RefPluginInfo info;
    EXPECT_EQ(plugin.library.pluginProc(PLUGIN_QUERY_VERSION, nullptr, 0, 0), 3606);
    EXPECT_EQ(plugin.library.pluginProc(PLUGIN_QUERY_VERSION, &info, 99, 5), 3606);
    EXPECT_EQ(info.addFileExtensionCalls, 0);
    EXPECT_EQ(plugin.library.pluginVersion(), 3606);
}

TEST_F(Registration, OtherPluginProcMessagesAnswerOne) {
    for (int32_t message : {0, 1, IMPORT_REQUEST, IMPORT_OPTIONS_REQUEST, 0x10015, 0x10018 + 100, -1}) {
        EXPECT_EQ(plugin.library.pluginProc(message, nullptr, 0, 0), 1) << message;
    }
}

TEST_F(Registration, ExportMessagesAnswerZeroAndShowNothing) {
    ReferenceScene scene;
    int extra = 0;
#ifndef _WIN32
    ui::standin::resetStandIn();
#endif
    EXPECT_EQ(plugin.call(EXPORT_REQUEST, &scene, nullptr), 0);
    EXPECT_EQ(plugin.call(EXPORT_OPTIONS_REQUEST, &scene, &extra), 0);
    EXPECT_TRUE(scene.calls().empty()) << "the export messages must not touch the host";
#ifndef _WIN32
    EXPECT_EQ(ui::standin::dialogsShown(), 0) << "the export options dialog is never shown";
#endif
}

TEST_F(Registration, CallbackWithNullRequiredArgumentAnswersZero) {
    ReferenceScene scene;
    int extra = 0;
    EXPECT_EQ(plugin.call(IMPORT_REQUEST, nullptr, &extra), 0);
    EXPECT_EQ(plugin.call(EXPORT_REQUEST, nullptr, &extra), 0);
    EXPECT_EQ(plugin.call(IMPORT_OPTIONS_REQUEST, &scene, nullptr), 0);
    EXPECT_EQ(plugin.call(IMPORT_OPTIONS_REQUEST, nullptr, &extra), 0);
    EXPECT_EQ(plugin.call(EXPORT_OPTIONS_REQUEST, &scene, nullptr), 0);
    EXPECT_TRUE(scene.calls().empty());
}

TEST_F(Registration, UnknownCallbackMessageAnswersZero) {
    ReferenceScene scene;
    int extra = 0;
    for (int32_t message : {0, PLUGIN_INIT, PLUGIN_QUERY_VERSION, 0x1001A, 0x10021}) {
        EXPECT_EQ(plugin.call(message, &scene, &extra), 0) << message;
    }
    EXPECT_TRUE(scene.calls().empty());
}
