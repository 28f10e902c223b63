// libFuzzer target: the whole import on the plug-in's dispatch and the
// reference host (import request, dialog confirmed at its defaults, build),
// with the document invariants checked after every import request, the model
// invariants after every successful build, and the model written as glTF in
// memory and checked structurally, as a model and as the bytes of a .glb.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <tiny_gltf.h>

#include "host/gltf_writer.h"
#include "plugin/plugin_state.h"
#include "tests/support/gltf_structure.h"
#include "tests/support/inprocess_import.h"
#include "tests/support/model_invariants.h"

namespace {

[[noreturn]] void fail(const char* what, int value) {
    std::fprintf(stderr, "%s: %d\n", what, value);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    bxml::testing::confirmDialogsWithOk();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bxml::PluginState state;
    const std::string path = bxml::testing::writeScratchFile("fuzz_import", data, size);
    bxml::testing::InProcessRun run = bxml::testing::importInProcess(state, path, true);
    if (run.importResult != 0 && run.importResult != 1) fail("import request answered", run.importResult);
    if (run.optionsResult != 0 && run.optionsResult != 1) fail("options request answered", run.optionsResult);
    if (!run.documentEmptyAfterOptions) fail("document not empty after the options request", 0);
    if (!run.documentViolations.empty()) {
        std::fprintf(stderr, "document invariants violated after the import request:\n%s",
                     bxml::testing::describeViolations(run.documentViolations).c_str());
        std::abort();
    }
    if (run.optionsResult == 1) {
        bxml::testing::InvariantOptions options;
        options.requireFiniteWeights = false;
        const auto violations = bxml::testing::checkModelInvariants(*run.scene, options);
        if (!violations.empty()) {
            std::fprintf(stderr, "model invariants violated:\n%s",
                         bxml::testing::describeViolations(violations).c_str());
            std::abort();
        }
        tinygltf::Model model;
        std::vector<std::string> warnings;
        bxml::host::buildGltf(*run.scene, {}, model, warnings);
        std::string problem = bxml::testing::gltfStructureProblem(model);
        if (problem.empty()) problem = bxml::testing::glbStructureProblem(bxml::host::glbBytes(model));
        if (!problem.empty()) {
            std::fprintf(stderr, "glTF: %s\n", problem.c_str());
            std::abort();
        }
    }
    return 0;
}
