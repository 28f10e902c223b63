#include "document/diagnostics.h"

#include <utility>

namespace bxml {

void Diagnostics::warn(int line, std::string what, std::string instead) {
    findings_.push_back(Finding{line, std::move(what), std::move(instead)});
}

void Diagnostics::noteLine(RecordKind kind, int64_t a, int64_t b, int line) {
    lines_[static_cast<int>(kind)][key(a, b)] = line;
}

int Diagnostics::lineOf(RecordKind kind, int64_t a, int64_t b) const {
    const auto& lines = lines_[static_cast<int>(kind)];
    const auto it = lines.find(key(a, b));
    return it == lines.end() ? 0 : it->second;
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
