// What a read leaves out: the optional sink into which the reader and the
// resolution pass write every place where the file's data is ignored, cut or
// replaced by a default. The plug-in passes none (a null pointer), and then
// nothing here runs; tools that check files for their authors pass one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bxml {

// One thing the file asks for that the import does differently.
struct Finding {
    int line = 0;        // TinyXML-2's line of the element concerned; 0 for the file as a whole
    std::string what;    // what happened
    std::string instead; // what the import does instead
};

class Diagnostics {
public:
    void warn(int line, std::string what, std::string instead);

    // In the order they were found.
    const std::vector<Finding>& findings() const { return findings_; }

private:
    std::vector<Finding> findings_;
};

// `text` in back quotes for a message, cut to a readable length (names may be
// far longer than a message should be).
std::string quoted(const char* text);

} // namespace bxml
