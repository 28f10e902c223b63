#include "tests/support/inprocess_import.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "document/storage.h"
#include "platform/standin/ui_standin.h"
#include "platform/text.h"
#include "tests/support/document_invariants.h"

namespace bxml::testing {

void confirmDialogsWithOk() {
    ui::standin::setDialogUser([](ui::standin::DialogSession& session) { session.press(1); });
}

namespace {

// The build makes the file's folder the current directory; callers that work
// with relative paths (libFuzzer's corpus) get theirs back.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory() {
        if (getcwd(folder_, sizeof folder_) == nullptr) folder_[0] = '\0';
    }
    ~KeepCurrentDirectory() {
        if (folder_[0] != '\0' && chdir(folder_) != 0) std::perror("chdir");
    }

private:
    char folder_[4096];
};

} // namespace

InProcessRun importInProcess(PluginState& state, const std::string& path, bool alwaysAskOptions) {
    KeepCurrentDirectory keep;
    InProcessRun run;
    run.scene = std::make_unique<host::ReferenceScene>();
    run.scene->setLogging(false);
    run.scene->setFileName(utf8ToWide(path.c_str()));
    run.importResult = dispatchHostCallback(state, IMPORT_REQUEST, run.scene.get(), nullptr);
    run.errorMessage = run.scene->errorMessage.narrow;
    run.documentViolations = checkDocumentInvariants(state.document);
    if (run.importResult == 1 || alwaysAskOptions) {
        int module = 0;
        run.optionsResult = dispatchHostCallback(state, IMPORT_OPTIONS_REQUEST, run.scene.get(), &module);
        run.documentEmptyAfterOptions = isDocumentEmpty(state.document);
    }
    return run;
}

std::string writeScratchFile(const std::string& tag, const uint8_t* data, std::size_t size) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/bxml_" + tag + "_" +
                       std::to_string(static_cast<long>(getpid())) + ".xml";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        if (size > 0) std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    return path;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace bxml::testing
