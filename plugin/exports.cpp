// The plug-in library's exported entry points and its process-wide state.

#include <cstdint>

#include "contract/host_api.h"
#include "plugin/plugin_state.h"

#ifdef _WIN32
#include <windows.h>
#define BXML_EXPORT extern "C" __declspec(dllexport)
#else
#define BXML_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Constructed by the run-time start-up before the library entry returns from
// attach; destroyed at unload.
bxml::PluginState g_state;

int32_t hostCallback(int32_t message, bxml::HostScene* scene, void* extra, int32_t /*unused*/) {
    return bxml::dispatchHostCallback(g_state, message, scene, extra);
}

} // namespace

BXML_EXPORT int32_t PluginVersion() { return bxml::PLUGIN_INTERFACE_VERSION; }

BXML_EXPORT int32_t PluginProc(int32_t message, bxml::HostPluginInfo* info, uint64_t value, int32_t /*unused*/) {
    return bxml::dispatchPluginProc(g_state, message, info, value, &hostCallback);
}

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif
