// What a read leaves out: the optional sink into which the reader and the
// resolution pass write every place where the file's data is ignored, cut or
// replaced by a default. The plug-in passes none (a null pointer), and then
// nothing here runs; tools that check files for their authors pass one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bxml {

// What a finding is about, for tools that sort or count findings; the text
// says the particulars. findingKindName gives each its name in --check --json.
enum class FindingKind : uint8_t {
    UnknownName,      // an element or attribute the format does not have, close to one it has
    SecondOccurrence, // a second element where only the first counts
    Missing,          // an attribute, child, count or value left out
    NotANumber,       // a value or list token that does not start with a number
    NotFinite,        // NaN or infinity
    BrokenToken,      // a tab or line break inside a token of a number list
    Cut,              // a name, bone path or file name cut short
    CountMismatch,    // a list, its count and what it belongs to disagree
    ImplausibleCount, // a count far beyond what its text can hold
    OutOfRange,       // a value clamped or replaced, an index reset
    Ignored,          // something the import passes over as it stands
    Unresolved,       // a name that finds nothing
    DuplicateName,    // a record named like an earlier one, which is never found
    ParentCycle,      // an object that never leads to a root
    Unplaced,         // a geometry no scene object places
    Dropped,          // what the build stops at
    Version,          // a version other than the format's
};

const char* findingKindName(FindingKind kind);

// One thing the file asks for that the import does differently.
struct Finding {
    int line = 0; // TinyXML-2's line of the element concerned; 0 for the file as a whole
    FindingKind kind = FindingKind::Ignored;
    int64_t count = 1;   // how many items of the file it stands for (tokens, faces, weights, ...)
    std::string what;    // what happened
    std::string instead; // what the import does instead
};

class Diagnostics {
public:
    void warn(int line, FindingKind kind, std::string what, std::string instead, int64_t count = 1);

    // In the order they were found.
    const std::vector<Finding>& findings() const { return findings_; }

private:
    std::vector<Finding> findings_;
};

// `text` in back quotes for a message, cut to a readable length (names may be
// far longer than a message should be).
std::string quoted(const char* text);

// "1 face", "2 faces": n with the word that fits it.
std::string plural(int64_t n, const char* one, const char* many);

} // namespace bxml
