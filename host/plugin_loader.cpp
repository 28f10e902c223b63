#include "host/plugin_loader.h"

#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace bxml::host {

int32_t RefPluginInfo::AddFileExtension(const HostString& extension) {
    ++addFileExtensionCalls;
    extensions.push_back(wideToUtf8(extension.wide));
    return acceptExtensions;
}

PluginLibrary::~PluginLibrary() { close(); }

bool PluginLibrary::open(const std::string& path) {
    close();
#ifdef _WIN32
    std::wstring wide = utf8ToWide(path.c_str());
    HMODULE module = LoadLibraryW(wide.c_str());
    if (module == nullptr) {
        error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    handle_ = module;
    pluginProc = reinterpret_cast<PluginProcFunction>(reinterpret_cast<void*>(GetProcAddress(module, "PluginProc")));
    pluginVersion =
        reinterpret_cast<PluginVersionFunction>(reinterpret_cast<void*>(GetProcAddress(module, "PluginVersion")));
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error_ = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
        return false;
    }
    pluginProc = reinterpret_cast<PluginProcFunction>(dlsym(handle_, "PluginProc"));
    pluginVersion = reinterpret_cast<PluginVersionFunction>(dlsym(handle_, "PluginVersion"));
#endif
    if (pluginProc == nullptr || pluginVersion == nullptr) {
        error_ = path + " does not export PluginProc and PluginVersion";
        close();
        return false;
    }
    return true;
}

void PluginLibrary::close() {
    if (handle_ != nullptr) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
    handle_ = nullptr;
    pluginProc = nullptr;
    pluginVersion = nullptr;
}

void* moduleHandleOf(const PluginLibrary& library) { return library.nativeHandle(); }

bool LoadedPlugin::load(const std::string& path, uint64_t moduleValue) {
    if (!library.open(path)) return false;
    versionResult = library.pluginVersion();
    initResult = library.pluginProc(PLUGIN_INIT, &info, moduleValue, 0);
    return true;
}

int32_t LoadedPlugin::call(int32_t message, HostScene* scene, void* extra) const {
    if (info.callback == nullptr) return 0;
    return info.callback(message, scene, extra, 0);
}

std::string executableFolder() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    std::string path = (n > 0 && n < std::size(buffer)) ? wideToUtf8(buffer) : std::string();
#else
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
#endif
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string defaultPluginPath() {
#ifdef _WIN32
    return executableFolder() + "bxml-importer.dll";
#else
    return executableFolder() + "libbxml-importer.so";
#endif
}

} // namespace bxml::host
