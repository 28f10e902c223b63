#include "host/file_check.h"

#include <algorithm>
#include <cstdio>

#include "builder/materials_builder.h"
#include "document/records.h"
#include "platform/files.h"
#include "platform/text.h"
#include "reader/file_reader.h"

namespace bxml::host {

namespace {

constexpr int EXIT_CLEAN = 0;
constexpr int EXIT_UNREADABLE = 1;
constexpr int EXIT_USAGE_ERROR = 2;

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string location(const std::string& file, int line) { return line > 0 ? file + ":" + std::to_string(line) : file; }

// The plug-in's own message for a read that failed.
const char* failureMessage(const CheckReport& report) {
    return report.readResult == -1 ? MESSAGE_NOT_ORVK : MESSAGE_UNABLE_TO_PARSE;
}

// Looks, as the build will, for the file of every image a material slot uses:
// the scene's folder followed by the image's path. One finding per image that
// names no file there, or whose name would not fit the host's file name.
void findMissingImageFiles(const SceneDocument& doc, Diagnostics& diagnostics) {
    wchar_t folder[WidePath::CAPACITY];
    textureFolderOf(doc, folder);
    std::vector<bool> looked(doc.images.size());
    for (const MaterialRecord& material : doc.materials) {
        for (const MaterialTextureSlot& slot : material.slots) {
            const ImageRecord* image = slotImage(doc, slot);
            if (image == nullptr || looked[image - doc.images.data()]) continue;
            looked[image - doc.images.data()] = true;
            const std::string name = "image " + quoted(image->name.c_str());
            wchar_t file[HOST_STRING_CAPACITY];
            if (!composeTextureFileName(folder, image->path.c_str(), file)) {
                diagnostics.warn(image->line, FindingKind::Cut,
                                 name + "'s file name beside the scene file is too long for the host",
                                 "no texture map is made from it");
                continue;
            }
            std::FILE* f = openFileForReading(file);
            if (f != nullptr) {
                std::fclose(f);
                continue;
            }
            diagnostics.warn(image->line, FindingKind::Unresolved, name + " names no file: `" + wideToUtf8(file) + "`",
                             "the host gets a texture map whose file is missing");
        }
    }
}

} // namespace

bool isCheckRun(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--check") != args.end();
}

CheckReport checkSceneFile(const std::string& file, bool lookForImageFiles) {
    CheckReport report;
    const std::wstring path = utf8ToWide(file.c_str());
    std::FILE* f = openFileForReading(path.c_str());
    if (f == nullptr) return report;
    report.opened = true;
    SceneDocument doc;
    doc.filePath.assign(path.c_str());
    Diagnostics diagnostics;
    report.readResult = readSceneFile(doc, f, &diagnostics);
    std::fclose(f);
    if (report.readResult == 1 && lookForImageFiles) findMissingImageFiles(doc, diagnostics);
    report.findings = diagnostics.findings();
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return report;
}

int writeCheckReport(const std::string& file, const CheckReport& report, bool json, std::ostream& out,
                     std::ostream& err) {
    if (!report.opened) {
        err << "bxml-host: " << file << ": no such file or not readable\n";
        return EXIT_UNREADABLE;
    }
    const bool read = report.readResult == 1;
    if (json) {
        out << "[";
        const char* separator = "\n";
        if (!read) {
            out << separator << "  {\"file\": " << jsonString(file)
                << ", \"line\": 0, \"severity\": \"error\", \"kind\": \"unreadable\", \"count\": 1, \"message\": "
                << jsonString(failureMessage(report)) << ", \"instead\": \"the file is not imported\"}";
            separator = ",\n";
        }
        for (const Finding& f : report.findings) {
            out << separator << "  {\"file\": " << jsonString(file) << ", \"line\": " << f.line
                << ", \"severity\": \"warning\", \"kind\": \"" << findingKindName(f.kind)
                << "\", \"count\": " << f.count << ", \"message\": " << jsonString(f.what)
                << ", \"instead\": " << jsonString(f.instead) << "}";
            separator = ",\n";
        }
        out << (report.findings.empty() && read ? "]\n" : "\n]\n");
    } else {
        if (!read) out << file << ": error: " << failureMessage(report) << "\n";
        for (const Finding& f : report.findings) {
            out << location(file, f.line) << ": warning: " << f.what << " (" << f.instead << ")\n";
        }
        const std::size_t n = report.findings.size();
        out << file << ": " << n << (n == 1 ? " warning, " : " warnings, ") << (read ? 0 : 1)
            << (read ? " errors\n" : " error\n");
    }
    if (!read) return EXIT_UNREADABLE;
    return report.findings.empty() ? EXIT_CLEAN : EXIT_WARNINGS;
}

int checkToolMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    bool lookForImageFiles = true;
    std::string file;
    std::string error;
    for (const std::string& a : args) {
        if (a == "--check") continue;
        if (a == "--json") {
            json = true;
        } else if (a == "--no-image-files") {
            lookForImageFiles = false;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "--check takes only --json, --no-image-files and one file, not " + a;
        } else if (!file.empty()) {
            error = "more than one file given";
        } else {
            file = a;
        }
        if (!error.empty()) break;
    }
    if (error.empty() && file.empty()) error = "no file given";
    if (!error.empty()) {
        err << "bxml-host: " << error << "\n";
        return EXIT_USAGE_ERROR;
    }
    return writeCheckReport(file, checkSceneFile(file, lookForImageFiles), json, out, err);
}

} // namespace bxml::host
