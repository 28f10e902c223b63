// Running whole imports through the real exports in integration tests.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "host/dialog_driver.h"
#include "host/plugin_loader.h"
#include "host/reference_host.h"
#include "platform/text.h"

namespace bxml::testing {

// A scene file written for one test and removed afterwards. The name holds
// the process id: tests run in parallel processes that share the folder.
class TempSceneFile {
public:
    explicit TempSceneFile(const std::string& content, const std::string& name = "scene.xml") {
        static int counter = 0;
#ifdef _WIN32
        const long process = static_cast<long>(_getpid());
#else
        const long process = static_cast<long>(getpid());
#endif
        path_ = std::string(::testing::TempDir()) + "bxml_" + std::to_string(process) + "_" +
                std::to_string(++counter) + "_" + name;
        std::ofstream out(path_, std::ios::binary);
        out << content;
    }
    ~TempSceneFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct ImportRun {
    std::unique_ptr<host::ReferenceScene> scene = std::make_unique<host::ReferenceScene>();
    int32_t importResult = -100;
    int32_t optionsResult = -100;
    host::DialogObservation dialog;
};

// IMPORT_REQUEST for path, then (when it succeeded, or always with
// alwaysAskOptions) IMPORT_OPTIONS_REQUEST answered with answer.
inline ImportRun runImport(const host::LoadedPlugin& plugin, const std::string& path, const host::DialogAnswer& answer,
                           bool alwaysAskOptions = false) {
    ImportRun run;
    run.scene->setFileName(utf8ToWide(path.c_str()));
    run.importResult = plugin.call(IMPORT_REQUEST, run.scene.get(), nullptr);
    if (run.importResult == 1 || alwaysAskOptions) {
        host::DialogDriver driver(answer);
        driver.arm();
        run.optionsResult = plugin.call(IMPORT_OPTIONS_REQUEST, run.scene.get(), plugin.library.nativeHandle());
        run.dialog = driver.finish();
    }
    return run;
}

} // namespace bxml::testing
