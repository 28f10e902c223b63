#include <exception>

#include "builder/import_driver.h"
#include "builder/prepare.h"
#include "document/storage.h"
#include "plugin/import_request.h"
#include "plugin/options_dialog.h"
#include "plugin/plugin_state.h"

namespace bxml {

const uint8_t PLUGIN_CLASS_ID[16] = {0x15, 0xfa, 0x2b, 0x9f, 0x2f, 0x5d, 0x4e, 0x39,
                                     0x8f, 0xfa, 0xf0, 0x29, 0xbf, 0xf2, 0x18, 0xca};

// Unload has two tear-downs, in reverse order of construction: the document's
// own, then that of the importer which runs on it. Each clears the document;
// the second finds nothing to release. Both are kept so that unload releases
// the same things in the same order as the plug-in always has.
PluginState::~PluginState() {
    clearDocument(document);
    clearDocument(document);
}

namespace {

int32_t registerPlugin(PluginState& state, HostPluginInfo& info, uint64_t value, HostCallbackFunction callback) {
    state.moduleHandle = value;
    info.registrationValue1 = 1;
    info.registrationValue2 = 2;
    info.callback = callback;
    for (int i = 0; i < 16; ++i) info.classId[i] = PLUGIN_CLASS_ID[i];
    {
        HostString text(PLUGIN_DESCRIPTION);
        info.description = text;
        text.clear();
    }
    {
        HostString text(PLUGIN_VERSION_TEXT);
        info.version = text;
        text.clear();
    }
    {
        HostString text(PLUGIN_FILE_FILTER);
        info.fileFilter = text;
        text.clear();
    }
    HostString extension(PLUGIN_EXTENSION);
    int32_t accepted = info.AddFileExtension(extension);
    extension.clear();
    return accepted != 0 ? 1 : 0;
}

int32_t importRequest(PluginState& state, HostScene& scene) {
    return importFile(state.document, &scene) == 1 ? RESULT_DONE : RESULT_FAILED;
}

// Shows the options dialog; on OK builds the model. Every path ends with an
// empty document; only OK changes the options.
int32_t importOptionsRequest(PluginState& state, HostScene& scene, void* module) {
    intptr_t answer = runOptionsDialog(module, scene.GetMainWindow(), state.document, state.options);
    // The host reads 2 as "cancelled by the user" and shows no error. Cancel
    // (0, also the answer without an owner window), a dialog that could not be
    // created (-1) and the dialog's own 2 all end that way: nothing was built,
    // and nothing went wrong that the user should be told about.
    if (answer == 0 || answer == -1 || answer == 2) {
        clearDocument(state.document);
        return RESULT_CANCELLED;
    }
    enterFolderOfScene(state.document);
    prepareDocument(state.document);
    int built = buildModel(state.document, state.options, &scene);
    clearDocument(state.document);
    return built == 1 ? RESULT_DONE : RESULT_FAILED;
}

} // namespace

int32_t dispatchPluginProc(PluginState& state, int32_t message, HostPluginInfo* info, uint64_t value,
                           HostCallbackFunction callback) {
    try {
        switch (message) {
        case PLUGIN_INIT:
            if (info == nullptr) return 0;
            return registerPlugin(state, *info, value, callback);
        case PLUGIN_QUERY_VERSION:
            return PLUGIN_INTERFACE_VERSION;
        default:
            return 1;
        }
    } catch (...) {
        return 0;
    }
}

int32_t dispatchHostCallback(PluginState& state, int32_t message, HostScene* scene, void* extra) {
    try {
        switch (message) {
        case IMPORT_REQUEST:
            if (scene == nullptr) return RESULT_FAILED;
            state.currentScene = scene;
            return importRequest(state, *scene);
        case EXPORT_REQUEST:
            if (scene == nullptr) return RESULT_FAILED;
            state.currentScene = scene;
            return RESULT_FAILED;
        case IMPORT_OPTIONS_REQUEST:
            if (scene == nullptr || extra == nullptr) return RESULT_FAILED;
            state.currentScene = scene;
            return importOptionsRequest(state, *scene, extra);
        case EXPORT_OPTIONS_REQUEST:
            if (scene == nullptr || extra == nullptr) return RESULT_FAILED;
            state.currentScene = scene;
            return RESULT_FAILED;
        default:
            return RESULT_FAILED;
        }
    } catch (...) {
        try {
            clearDocument(state.document);
        } catch (...) {}
        return RESULT_FAILED;
    }
}

} // namespace bxml
