// bxml-host: runs the plug-in the way the host application does, without it.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/plugin_loader.h"
#include "platform/text.h"

namespace {

std::string printable(const bxml::HostString& s) {
    std::string out;
    for (char c : bxml::wideToUtf8(s.wide)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

int usage() {
    std::fprintf(stderr, "usage: bxml-host [--plugin PATH] [FILE.xml]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string pluginPath = bxml::host::defaultPluginPath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (argv[i][0] == '-') {
            return usage();
        }
    }
    bxml::host::LoadedPlugin plugin;
    if (!plugin.load(pluginPath)) {
        std::fprintf(stderr, "bxml-host: %s\n", plugin.library.error().c_str());
        return 1;
    }
    std::printf("plug-in: %s\n", pluginPath.c_str());
    std::printf("interface version: %d\n", plugin.versionResult);
    std::printf("registration result: %d\n", plugin.initResult);
    std::printf("description: %s\n", printable(plugin.info.description).c_str());
    std::printf("version: %s\n", printable(plugin.info.version).c_str());
    std::printf("file filter: %s\n", printable(plugin.info.fileFilter).c_str());
    for (const std::string& ext : plugin.info.extensions) std::printf("extension: %s\n", ext.c_str());
    return plugin.initResult == 1 ? 0 : 1;
}
