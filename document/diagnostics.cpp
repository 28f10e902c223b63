#include "document/diagnostics.h"

#include <iterator>
#include <utility>

namespace bxml {

namespace {

// In the order of FindingKind.
constexpr const char* KIND_NAMES[] = {"unknown-name",
                                      "second-occurrence",
                                      "missing",
                                      "not-a-number",
                                      "not-finite",
                                      "broken-token",
                                      "cut",
                                      "count-mismatch",
                                      "implausible-count",
                                      "out-of-range",
                                      "ignored",
                                      "unresolved",
                                      "duplicate-name",
                                      "parent-cycle",
                                      "unplaced",
                                      "dropped",
                                      "version"};
static_assert(std::size(KIND_NAMES) == static_cast<std::size_t>(FindingKind::Version) + 1);

} // namespace

const char* findingKindName(FindingKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < std::size(KIND_NAMES) ? KIND_NAMES[i] : "ignored";
}

void Diagnostics::warn(int line, FindingKind kind, std::string what, std::string instead, int64_t count) {
    findings_.push_back(Finding{line, kind, count, std::move(what), std::move(instead)});
}

std::string plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string quoted(const char* text) {
    constexpr std::size_t SHOWN = 60;
    std::string s = "`";
    if (text != nullptr) {
        std::string t(text);
        if (t.size() > SHOWN) t = t.substr(0, SHOWN) + "...";
        for (char c : t) {
            if (c == '\n') s += "\\n";
            else if (c == '\r') s += "\\r";
            else if (c == '\t') s += "\\t";
            else s += c;
        }
    }
    return s + "`";
}

} // namespace bxml
