#include "reader/file_reader.h"

#include <tinyxml2.h>

#include <cstdint>
#include <new>
#include <string>

#include "document/lookup.h"
#include "document/resolve.h"
#include "document/storage.h"
#include "reader/file_checks.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;

namespace {

// The version of the format the import reads; a file giving another is read
// as this one all the same.
constexpr int32_t FORMAT_VERSION = 3;

} // namespace

void readVersion(const XMLElement& root, SceneDocument& doc, Diagnostics* sink) {
    const XMLElement* comments = root.FirstChildElement("comments");
    const char* version = comments != nullptr ? childText(comments, "version") : nullptr;
    if (version != nullptr) doc.version = parseInt(version);
    if (sink == nullptr) return;
    if (version == nullptr) {
        sink->warn((comments != nullptr ? comments : &root)->GetLineNum(), FindingKind::Version,
                   "the file gives no version",
                   "read as version 0, and otherwise as version " + std::to_string(FORMAT_VERSION));
    } else if (doc.version != FORMAT_VERSION) {
        sink->warn(comments->FirstChildElement("version")->GetLineNum(), FindingKind::Version,
                   "version " + std::to_string(doc.version) + ", not " + std::to_string(FORMAT_VERSION),
                   "read as version " + std::to_string(FORMAT_VERSION) + " all the same");
    }
}

namespace {

using SectionReader = int (*)(const XMLElement*, SceneDocument&, Diagnostics*);

struct Section {
    const char* name;
    SectionReader read;
};

// Sections are read in this order whatever their order in the file (the
// version, in comments, before them all); only the first occurrence of each
// counts.
constexpr Section SECTIONS[] = {
    {"lights", readLights},       {"cameras", readCameras},       {"images", readImages},
    {"textures", readTextures},   {"materials", readMaterials},   {"geometries", readGeometries},
    {"skeletons", readSkeletons}, {"animations", readAnimations}, {"scenes", readScenes},
};

// Empties the document but keeps the path of the file about to be read: two
// reads without a build between them must not mix their files.
void clearKeepingPath(SceneDocument& doc) {
    const WidePath path = doc.filePath;
    clearDocument(doc);
    doc.filePath = path;
}

} // namespace

int readSceneFile(SceneDocument& doc, std::FILE* file, Diagnostics* diagnostics) {
    if (file == nullptr) return 0;
    clearKeepingPath(doc);

    tinyxml2::XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    try {
        if (xml.LoadFile(file) != tinyxml2::XML_SUCCESS) return 0;
    } catch (const std::bad_alloc&) {
        return 0; // a tree too large for memory is a file that cannot be read
    }

    const XMLElement* root = xml.FirstChildElement("orvk");
    if (root == nullptr) return -1;

    readVersion(*root, doc, diagnostics);
    // The readers' results are not consulted: a section that fails part-way
    // keeps what it read, and the next section is read all the same.
    for (const Section& section : SECTIONS) {
        (void)section.read(root->FirstChildElement(section.name), doc, diagnostics);
    }
    if (diagnostics != nullptr) checkReadFile(*root, *diagnostics);
    resolveReferences(doc, diagnostics);
    return 1;
}

} // namespace bxml
