// Whole imports on a plug-in state of the caller's own, without loading the
// shared library: the import request, then the options request with the
// stand-in dialog confirmed at its defaults. Used where a test runs thousands
// of imports (sweeps, hostile inputs, the fuzzer, the regression replay).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/reference_host.h"
#include "plugin/plugin_state.h"

namespace bxml::testing {

struct InProcessRun {
    std::unique_ptr<host::ReferenceScene> scene;
    int32_t importResult = -100;
    int32_t optionsResult = -100; // -100: not asked
    bool documentEmptyAfterOptions = false;
    std::string errorMessage; // the host's error text after the import request
    // Violations of the document invariants after the import request, whatever
    // its result (a failed read must leave a sound document too).
    std::vector<std::string> documentViolations;
};

// Makes the stand-in dialog press OK (call once; resetStandIn undoes it).
void confirmDialogsWithOk();

// Imports the file at path on state. The options request follows a
// successful import request, or any import request with alwaysAskOptions.
InProcessRun importInProcess(PluginState& state, const std::string& path, bool alwaysAskOptions = false);

// Writes bytes to a file of this process's own under the temporary folder and
// returns its path (the same path for the same tag).
std::string writeScratchFile(const std::string& tag, const uint8_t* data, std::size_t size);

// Reads a whole file; empty when it cannot be read.
std::string readWholeFile(const std::string& path);

} // namespace bxml::testing
