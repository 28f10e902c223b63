// Collects the violations an invariant checker finds, one line each.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace bxml::testing {

class ViolationReport {
public:
    explicit ViolationReport(std::vector<std::string>& out) : out_(out) {}
    template <class... Parts>
    void add(const Parts&... parts) {
        // A broken model can violate the same rule millions of times; the first
        // hundred say enough.
        if (out_.size() >= 100) return;
        std::ostringstream line;
        (line << ... << parts);
        out_.push_back(line.str());
    }

private:
    std::vector<std::string>& out_;
};

// The violations joined into one text (for assertion messages).
inline std::string describeViolations(const std::vector<std::string>& violations) {
    std::string text;
    for (const std::string& v : violations) text += v + "\n";
    return text;
}

} // namespace bxml::testing
