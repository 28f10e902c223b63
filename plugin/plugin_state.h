// The plug-in's process-wide state and the message dispatch that runs on it.
//
// exports.cpp holds the one instance and the exported entry points; the
// dispatch functions take the state as a parameter so that tests can run them
// on a state of their own.
#pragma once

#include <cstdint>

#include "bxml_version.h"
#include "contract/host_api.h"
#include "contract/import_options.h"
#include "document/records.h"

namespace bxml {

// Everything that lives from load to unload: the empty document and the
// options at their load values. Tear-down clears the document (twice: once for
// the document and once for the importer that runs on it; the second finds
// nothing).
struct PluginState {
    SceneDocument document;
    ImportOptions options;
    uint64_t moduleHandle = 0;         // the value passed with PLUGIN_INIT
    HostScene* currentScene = nullptr; // model object of the last handled callback

    PluginState() = default;
    PluginState(const PluginState&) = delete;
    PluginState& operator=(const PluginState&) = delete;
    ~PluginState();
};

// The 16-byte class identifier written at registration.
extern const uint8_t PLUGIN_CLASS_ID[16];

inline constexpr const char* PLUGIN_DESCRIPTION = "Blender XML Importer\r\n";
inline constexpr const char* PLUGIN_VERSION_TEXT = BXML_VERSION_TEXT;
inline constexpr const char* PLUGIN_FILE_FILTER = "Blender XML format files (*.xml)";
inline constexpr const char* PLUGIN_EXTENSION = "xml";

// PluginProc on the given state; `callback` is the address registered with the
// host. Never throws.
[[nodiscard]] int32_t dispatchPluginProc(PluginState& state, int32_t message, HostPluginInfo* info, uint64_t value,
                                         HostCallbackFunction callback);

// The host's callback on the given state. Never throws: an exception inside an
// operation ends as result 0, with the document cleared.
[[nodiscard]] int32_t dispatchHostCallback(PluginState& state, int32_t message, HostScene* scene, void* extra);

} // namespace bxml
