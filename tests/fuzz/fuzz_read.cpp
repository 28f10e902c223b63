// libFuzzer target: bytes -> scene document -> resolution of names, with the
// document invariants checked after every read, whatever its result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "document/storage.h"
#include "reader/file_reader.h"
#include "tests/support/document_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bxml::SceneDocument doc;
    // fmemopen refuses an empty buffer; an empty file stands in for no bytes.
    std::FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
    if (file == nullptr) return 0;
    const int result = bxml::readSceneFile(doc, file);
    std::fclose(file);
    const auto violations = bxml::testing::checkDocumentInvariants(doc);
    if (!violations.empty()) {
        std::fprintf(stderr, "document invariants violated after a read answering %d:\n%s", result,
                     bxml::testing::describeViolations(violations).c_str());
        std::abort();
    }
    bxml::clearDocument(doc);
    if (!bxml::isDocumentEmpty(doc)) {
        std::fprintf(stderr, "document not empty after clearDocument\n");
        std::abort();
    }
    return 0;
}
