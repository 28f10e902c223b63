// The host model after an import, written as JSON for tests and people.
//
// The text is UTF-8 with "\n" line ends and no locale-dependent formatting,
// so the same import gives the same bytes on every platform. Floats are
// written in the shortest form that reads back to the same float; the three
// values JSON has no number for are written as the strings "nan", "inf" and
// "-inf".
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/dialog_driver.h"
#include "host/plugin_loader.h"
#include "host/reference_host.h"

namespace bxml::host {

// Everything one run of the tool saw.
struct ImportRecord {
    const RefPluginInfo* plugin = nullptr;
    int32_t importResult = 0;
    int32_t optionsResult = 0;
    std::string errorMessage; // UTF-8
    DialogObservation dialog;
    const ReferenceScene* scene = nullptr;
    // The folder of the scene file as handed to the plug-in, with its final
    // separator (UTF-8). Texture file names under it are dumped relative to
    // it, so that a dump does not depend on where the scene lies.
    std::string sceneFolder;
};

// A float as a JSON value (see the header comment for NaN and infinities).
std::string jsonFloat(float value);
// A JSON string literal of UTF-8 text.
std::string jsonString(const std::string& utf8);

// Writes the dump to out as it goes, in pieces of about flushAt bytes: a dump
// of any size costs little memory beyond the model it describes. The bytes do
// not depend on flushAt.
void writeJson(const ImportRecord& record, std::ostream& out, std::size_t flushAt = 1 << 20);
// The same text as one string (small dumps, tests).
std::string dumpJson(const ImportRecord& record);

} // namespace bxml::host
