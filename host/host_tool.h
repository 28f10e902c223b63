// The bxml-host command line: options, one import through the plug-in's
// exports, a summary for a person and the JSON dump.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/dialog_driver.h"
#include "host/gltf_writer.h"

namespace bxml::host {

// Exit statuses of the tool.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_IMPORT_FAILED = 1; // also: plug-in not loadable, file missing
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_CANCELLED = 3;
inline constexpr int EXIT_BUILD_FAILED = 4;
// 5: --check found something to report (host/file_check.h).

struct ToolOptions {
    std::string pluginPath; // empty: the library built beside the tool
    std::string file;
    DialogAnswer answer;
    int cameras = 0;                       // default cameras seeded before the import
    std::optional<std::string> jsonPath;   // "-": standard output
    std::optional<std::string> gltfPath;   // .glb binary, otherwise .gltf with a .bin beside it
    GltfFault gltfFault = GltfFault::none; // set only by the tests' build of the tool
};

extern const char* const USAGE;

// Reads the arguments (without the program name). On a usage error returns
// false and sets error to what was wrong.
bool parseToolOptions(const std::vector<std::string>& args, ToolOptions& options, std::string& error);

// Runs one import as the options say; writes the summary to out and
// diagnostics to err. Returns the exit status.
int runTool(const ToolOptions& options, std::ostream& out, std::ostream& err);

// Both steps; a usage error writes the message and the usage line to err.
int hostToolMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace bxml::host
