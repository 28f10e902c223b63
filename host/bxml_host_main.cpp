// bxml-host: runs the plug-in the way the host application does, without it.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_tool.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // The dump is the same bytes on every platform: no "\r\n" on standard output.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    bool jsonToStdout = false;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--json" && args[i + 1] == "-") jsonToStdout = true;
    // With the dump on standard output the summary goes to standard error, so
    // that the output stays one JSON document.
    std::ostringstream out;
    std::ostringstream err;
    int status = bxml::host::hostToolMain(args, out, err);
    (jsonToStdout ? std::cerr : std::cout) << out.str() << std::flush;
    std::cerr << err.str() << std::flush;
    return status;
}
