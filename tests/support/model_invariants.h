// Structural invariants of the reference host's model after an import that
// answered 1: every index the plug-in wrote points inside the list it names.
#pragma once

#include <string>
#include <vector>

#include "host/reference_host.h"
#include "tests/support/violation_report.h"

namespace bxml::testing {

struct InvariantOptions {
    // Weights are checked for being finite only when the file could not have
    // given a non-finite one (files of the fuzzer and hostile tests can).
    bool requireFiniteWeights = true;
};

// One line per violation; empty when the model is sound.
std::vector<std::string> checkModelInvariants(const host::ReferenceScene& scene, InvariantOptions options = {});

} // namespace bxml::testing
