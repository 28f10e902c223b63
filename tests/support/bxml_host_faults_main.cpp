// bxml-host-faults: bxml-host whose glTF writer makes one mistake on purpose,
// for the tests that show a comparison with another writer's glTF catches it.
// A test-only build: the shipped tool has no way to ask for a fault.
//   bxml-host-faults --gltf-fault no-axis-turn|no-srgb-conversion|bind-relative-keys BXML-HOST-ARGUMENTS...
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/host_tool.h"

int main(int argc, char** argv) {
    using bxml::host::GltfFault;
    const std::pair<const char*, GltfFault> FAULTS[] = {{"no-axis-turn", GltfFault::noAxisTurn},
                                                        {"no-srgb-conversion", GltfFault::noSrgbConversion},
                                                        {"bind-relative-keys", GltfFault::bindRelativeKeys}};
    std::vector<std::string> args(argv + 1, argv + argc);
    GltfFault fault = GltfFault::none;
    if (args.size() >= 2 && args[0] == "--gltf-fault")
        for (const auto& [name, value] : FAULTS)
            if (args[1] == name) fault = value;
    if (fault == GltfFault::none) {
        std::cerr << "usage: bxml-host-faults --gltf-fault no-axis-turn|no-srgb-conversion|bind-relative-keys "
                     "BXML-HOST-ARGUMENTS...\n";
        return bxml::host::EXIT_USAGE;
    }
    args.erase(args.begin(), args.begin() + 2);
    bxml::host::ToolOptions options;
    std::string error;
    if (!bxml::host::parseToolOptions(args, options, error)) {
        std::cerr << "bxml-host-faults: " << error << "\n";
        return bxml::host::EXIT_USAGE;
    }
    options.gltfFault = fault;
    std::ostringstream out, err;
    const int status = bxml::host::runTool(options, out, err);
    std::cout << out.str() << std::flush;
    std::cerr << err.str() << std::flush;
    return status;
}
