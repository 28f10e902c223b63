// Holds the plug-in's sources to the layering the build is written in: a file
// includes project headers only from its own folder and the folders below it,
// and only the platform layer (and the exported entry points) include a
// Windows header.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each folder and the folders its files may include from (itself included).
const std::map<std::string, std::set<std::string>>& allowedIncludes() {
    static const std::map<std::string, std::set<std::string>> table = {
        {"platform", {"platform"}},
        {"math", {"math"}},
        {"contract", {"contract", "math", "platform"}},
        // document and contract stand side by side; reader and builder both
        // stand on them, and neither on the other.
        {"document", {"document", "math", "platform"}},
        {"reader", {"reader", "document", "contract", "math", "platform"}},
        {"builder", {"builder", "document", "contract", "math", "platform"}},
        {"plugin", {"plugin", "builder", "reader", "document", "contract", "math", "platform"}},
        // reader and document for bxml-host --check alone, which reads in-process
        // (and builder, for where the build looks for image files).
        {"host", {"host", "reader", "builder", "document", "contract", "platform"}},
    };
    return table;
}

// Headers the build generates, constants only: any folder may include them.
const std::set<std::string> GENERATED_HEADERS = {"bxml_version.h"};

// Folders whose files never include a Windows header.
const std::set<std::string> NO_WINDOWS_HEADERS = {"math", "contract", "document", "reader", "builder"};

struct Include {
    int line = 0;
    std::string path;
    bool quoted = false;
};

// The #include lines of one source file, quoted and angled.
std::vector<Include> includesOf(const fs::path& file) {
    std::vector<Include> found;
    std::ifstream in(file);
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        std::size_t i = text.find_first_not_of(" \t");
        if (i == std::string::npos || text[i] != '#') continue;
        i = text.find_first_not_of(" \t", i + 1);
        if (i == std::string::npos || text.compare(i, 7, "include") != 0) continue;
        i = text.find_first_not_of(" \t", i + 7);
        if (i == std::string::npos || (text[i] != '"' && text[i] != '<')) continue;
        const char close = text[i] == '"' ? '"' : '>';
        const std::size_t end = text.find(close, i + 1);
        if (end == std::string::npos) continue;
        found.push_back({line, text.substr(i + 1, end - i - 1), close == '"'});
    }
    return found;
}

bool isSource(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".h" || ext == ".cpp";
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// One line per include against the arrows, in every folder of the table.
// scanned counts the files read per folder.
std::vector<std::string> layeringViolations(const fs::path& root, std::map<std::string, int>& scanned) {
    std::vector<std::string> violations;
    for (const auto& [folder, allowed] : allowedIncludes()) {
        const fs::path dir = root / folder;
        if (!fs::is_directory(dir)) {
            violations.push_back(folder + "/: folder missing");
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file() || !isSource(entry.path())) continue;
            ++scanned[folder];
            const std::string name = fs::relative(entry.path(), root).generic_string();
            for (const Include& inc : includesOf(entry.path())) {
                const std::string where = name + ":" + std::to_string(inc.line) + ": ";
                if (!inc.quoted) {
                    const std::string header = lowered(inc.path);
                    if (NO_WINDOWS_HEADERS.count(folder) != 0 && (header == "windows.h" || header == "commctrl.h")) {
                        violations.push_back(where + "Windows header <" + inc.path + ">");
                    }
                    continue;
                }
                if (GENERATED_HEADERS.count(inc.path) != 0) continue;
                const std::size_t slash = inc.path.find('/');
                const std::string target = slash == std::string::npos ? std::string() : inc.path.substr(0, slash);
                if (allowed.count(target) == 0) {
                    violations.push_back(where + "\"" + inc.path + "\" reaches above " + folder + "/");
                }
            }
        }
    }
    return violations;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(Layering, EveryIncludeFollowsTheArrows) {
    std::map<std::string, int> scanned;
    const std::vector<std::string> violations = layeringViolations(BXML_SOURCE_DIR, scanned);
    EXPECT_TRUE(violations.empty()) << joined(violations);
    // A scan that read nothing would pass: every layer has sources.
    for (const auto& entry : allowedIncludes()) {
        EXPECT_GT(scanned[entry.first], 0) << entry.first << "/ was not scanned";
    }
}

} // namespace
