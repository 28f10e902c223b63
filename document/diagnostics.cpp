#include "document/diagnostics.h"

#include <utility>

namespace bxml {

void Diagnostics::warn(int line, std::string what, std::string instead) {
    findings_.push_back(Finding{line, std::move(what), std::move(instead)});
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
