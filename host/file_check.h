// bxml-host --check: reads a scene file in-process with the plug-in's own
// reader, given a diagnostics sink, and lists every place where the import
// ignores, cuts or defaults what the file holds. For exporter authors: the
// plug-in itself shows none of this.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "document/diagnostics.h"

namespace bxml::host {

// Exit status of --check when the file was read with findings (0: none;
// 1: the file could not be read).
inline constexpr int EXIT_WARNINGS = 5;

struct CheckReport {
    int readResult = 0;            // readSceneFile's: 1, 0 or -1; 0 also when the file cannot be opened
    bool opened = false;           // false: the file could not be opened
    std::vector<Finding> findings; // by line, in the order found within a line
};

// Reads file (UTF-8 path) as the plug-in's import request reads it. With
// lookForImageFiles, the files of the images that materials use are looked for
// where the build will look (beside the scene file); a file checked away from
// its folder passes false.
CheckReport checkSceneFile(const std::string& file, bool lookForImageFiles = true);

// The report as text: "FILE:LINE: warning: WHAT (INSTEAD)" per finding, then a
// summary line; or as a JSON list of objects. Returns the exit status: 0 no
// findings, 5 findings, 1 the file could not be read.
int writeCheckReport(const std::string& file, const CheckReport& report, bool json, std::ostream& out,
                     std::ostream& err);

// The arguments of a --check run (without the program name): --check, an
// optional --json, an optional --no-image-files (do not look for image
// files), one file. Returns the exit status (2 for a usage error).
int checkToolMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// True when args asks for a --check run.
bool isCheckRun(const std::vector<std::string>& args);

} // namespace bxml::host
