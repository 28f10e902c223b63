// Running bxml-host's command line in-process in integration tests.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "host/host_tool.h"

namespace bxml::testing {

// What one bxml-host command line gave: its exit status and both streams.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = host::hostToolMain(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// The path of a file in tests/data.
inline std::string dataFile(const char* name) { return std::string(BXML_TEST_DATA_DIR) + "/" + name; }

} // namespace bxml::testing
