// Loads the plug-in library by path, resolves its two exports, registers it
// with a registration record of the reference host and keeps the callback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contract/host_api.h"

namespace bxml::host {

// The reference host's registration record: remembers every extension the
// plug-in registers and accepts them unless told otherwise.
class RefPluginInfo final : public HostPluginInfo {
public:
    int32_t AddFileExtension(const HostString& extension) override;

    std::vector<std::string> extensions;
    int32_t acceptExtensions = 1; // what AddFileExtension answers
    int addFileExtensionCalls = 0;
};

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Opens the library and resolves PluginProc and PluginVersion. On failure
    // returns false and error() says why.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    // HMODULE on Windows, the dlopen handle elsewhere; null when closed.
    void* nativeHandle() const { return handle_; }

    PluginProcFunction pluginProc = nullptr;
    PluginVersionFunction pluginVersion = nullptr;

private:
    void* handle_ = nullptr;
    std::string error_;
};

// A registered plug-in: library, registration record and init result.
struct LoadedPlugin {
    PluginLibrary library;
    RefPluginInfo info;
    int32_t versionResult = 0; // PluginVersion()
    int32_t initResult = 0;    // PluginProc(PLUGIN_INIT, ...)

    // Opens the library, calls PluginVersion and PLUGIN_INIT (with moduleValue
    // as the module handle). Returns false when the library or an export is
    // missing.
    bool load(const std::string& path, uint64_t moduleValue = 0);

    // The callback the plug-in registered, or null.
    HostCallbackFunction callback() const { return info.callback; }
    int32_t call(int32_t message, HostScene* scene, void* extra) const;
};

// The folder of the running executable, with a trailing separator.
std::string executableFolder();

// The plug-in library built beside the executable.
std::string defaultPluginPath();

// The module handle of an opened library as the host passes it with
// IMPORT_OPTIONS_REQUEST (on Windows the HMODULE; elsewhere the library
// handle).
void* moduleHandleOf(const PluginLibrary& library);

} // namespace bxml::host
