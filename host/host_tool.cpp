#include "host/host_tool.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bxml_version.h"
#include "host/file_check.h"
#include "host/gltf_writer.h"
#include "host/host_paths.h"
#include "host/json_dump.h"
#include "host/plugin_loader.h"
#include "host/reference_host.h"
#include "platform/text.h"

namespace bxml::host {

const char* const USAGE =
    "usage: bxml-host [--version | --help]\n"
    "       bxml-host [--plugin PATH] [--scale TEXT] [--lights on|off] [--scene-meshes-only on|off]\n"
    "                 [--prune-bones on|off] [--swap-model on|off] [--cancel] [--camera]...\n"
    "                 [--json FILE|-] [--gltf FILE.glb|FILE.gltf] [--interactive] FILE.xml\n"
    "       bxml-host --check [--json] [--no-image-files] FILE.xml\n";

namespace {

std::string printable(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

bool readSwitch(const std::string& value, std::optional<bool>& target) {
    if (value == "on") target = true;
    else if (value == "off") target = false;
    else return false;
    return true;
}

bool fileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// The dialog's information lines: label, and the control showing the value.
const struct {
    const char* label;
    int id;
} INFO_LINES[] = {{"file version", 1001}, {"vertices", 1007},   {"faces", 1009},
                  {"lights", 1006},       {"materials", 1005},  {"textures", 1011},
                  {"bones", 1004},        {"animations", 1012}, {"scale", 1021}};

void printSummary(std::ostream& out, const ReferenceScene& s) {
    long long polygons = 0;
    for (const auto& b : s.polygonBlocks) polygons += b->polygonCount;
    long long maps = 0;
    for (const auto& m : s.materialStore) maps += static_cast<long long>(m->maps.size());
    long long keys = 0;
    for (const auto& a : s.animationStore)
        for (int32_t t = 0; t < a->trackCount; ++t)
            keys += a->tracks[t].positionKeyCount + a->tracks[t].rotationKeyCount + a->tracks[t].scaleKeyCount;
    out << "model: " << s.vertexCount << " vertices, " << s.meshCount << " meshes, " << polygons << " polygons, "
        << s.materialCount << " materials, " << maps << " texture maps, " << s.lightCount << " lights, "
        << s.cameraCount << " cameras, " << s.boneCount << " bones, " << s.animationCount << " animations, " << keys
        << " keys\n";
    out << "closing calls:";
    bool any = false;
    for (const std::string& call : s.calls()) {
        if (call.rfind("EndMeshes(", 0) == 0 || call == "PruneBones()" || call == "EndSkeletons()" ||
            call == "EndImport()") {
            out << ' ' << call;
            any = true;
        }
    }
    out << (any ? "\n" : " none\n");
}

std::filesystem::path absolutePath(const std::string& utf8) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(pathFromUtf8(utf8), ec);
    return ec ? pathFromUtf8(utf8) : path.lexically_normal();
}

// The scene file's path as a host application hands it over: absolute, so
// that the texture file names the plug-in composes from its folder name real
// files. A path the host's string cannot hold whole is handed as given.
std::wstring scenePathForHost(const std::string& file) {
    const std::wstring absolute = wideOf(absolutePath(file));
    if (absolute.size() >= static_cast<std::size_t>(HOST_STRING_CAPACITY)) return utf8ToWide(file.c_str());
    return absolute;
}

// Everything up to and including the last separator.
std::string folderOf(const std::wstring& path) {
    const std::string utf8 = wideToUtf8(path.c_str());
    const std::size_t slash = utf8.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : utf8.substr(0, slash + 1);
}

int writeGltf(const ReferenceScene& scene, const std::filesystem::path& file, GltfFault fault, std::ostream& err) {
    std::vector<std::string> warnings;
    std::string error;
    const bool written = writeSceneAsGltf(scene, file, warnings, error, fault);
    for (const std::string& w : warnings) err << "bxml-host: glTF: " << w << "\n";
    if (!written) {
        err << "bxml-host: " << error << "\n";
        return EXIT_IMPORT_FAILED;
    }
    return EXIT_DONE;
}

} // namespace

bool parseToolOptions(const std::vector<std::string>& args, ToolOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto onOff = [&](std::optional<bool>& target) {
            std::string v;
            if (!value(v)) return false;
            if (!readSwitch(v, target)) {
                error = a + " takes on or off, not '" + v + "'";
                return false;
            }
            return true;
        };
        std::string v;
        if (a == "--plugin") {
            if (!value(options.pluginPath)) return false;
        } else if (a == "--scale") {
            if (!value(v)) return false;
            options.answer.scaleText = utf8ToWide(v.c_str());
        } else if (a == "--lights") {
            if (!onOff(options.answer.importLights)) return false;
        } else if (a == "--scene-meshes-only") {
            if (!onOff(options.answer.sceneMeshesOnly)) return false;
        } else if (a == "--prune-bones") {
            if (!onOff(options.answer.pruneBones)) return false;
        } else if (a == "--swap-model") {
            if (!onOff(options.answer.swapModel)) return false;
        } else if (a == "--cancel") {
            options.answer.cancel = true;
        } else if (a == "--camera") {
            ++options.cameras;
        } else if (a == "--json") {
            if (!value(v)) return false;
            options.jsonPath = v;
        } else if (a == "--gltf") {
            if (!value(v)) return false;
            options.gltfPath = v;
        } else if (a == "--interactive") {
            options.answer.interactive = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (!options.file.empty()) {
            error = "more than one file given";
            return false;
        } else {
            options.file = a;
        }
    }
    if (options.file.empty()) {
        error = "no file given";
        return false;
    }
    return true;
}

int runTool(const ToolOptions& options, std::ostream& out, std::ostream& err) {
    const std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    LoadedPlugin plugin;
    if (!plugin.load(pluginPath)) {
        err << "bxml-host: cannot load the plug-in " << pluginPath << ": " << plugin.library.error() << "\n";
        return EXIT_IMPORT_FAILED;
    }
    out << "plug-in: " << pluginPath << "\n";
    out << "registration: " << plugin.initResult << "\n";
    out << "description: " << printable(wideToUtf8(plugin.info.description.wide)) << "\n";
    out << "version: " << printable(wideToUtf8(plugin.info.version.wide)) << "\n";
    out << "file filter: " << printable(wideToUtf8(plugin.info.fileFilter.wide)) << "\n";
    for (const std::string& ext : plugin.info.extensions) out << "extension: " << ext << "\n";
    if (plugin.initResult != 1 || plugin.callback() == nullptr) {
        err << "bxml-host: the plug-in did not register\n";
        return EXIT_IMPORT_FAILED;
    }
    if (!fileExists(options.file)) {
        err << "bxml-host: " << options.file << ": no such file or not readable\n";
        return EXIT_IMPORT_FAILED;
    }

    // Opened before the import: the plug-in makes the scene's folder the
    // current directory, and a relative path names a file where the caller is.
    std::ofstream jsonFile;
    if (options.jsonPath && *options.jsonPath != "-") {
        jsonFile.open(*options.jsonPath, std::ios::binary);
        if (!jsonFile) {
            err << "bxml-host: cannot write " << *options.jsonPath << "\n";
            return EXIT_IMPORT_FAILED;
        }
    }

    // Resolved and tried before the import, for the same reason.
    std::filesystem::path gltfFile;
    if (options.gltfPath) {
        gltfFile = absolutePath(*options.gltfPath);
        std::error_code ec;
        const bool existed = std::filesystem::exists(gltfFile, ec);
        const bool writable = static_cast<bool>(std::ofstream(gltfFile, std::ios::binary | std::ios::app));
        // Nothing is left behind when the import then fails.
        if (!existed) std::filesystem::remove(gltfFile, ec);
        if (!writable) {
            err << "bxml-host: cannot write " << *options.gltfPath << "\n";
            return EXIT_IMPORT_FAILED;
        }
    }

    ReferenceScene scene;
    for (int i = 0; i < options.cameras; ++i) scene.seedCamera();
    const std::wstring scenePath = scenePathForHost(options.file);
    scene.setFileName(scenePath);
    ImportRecord record;
    record.plugin = &plugin.info;
    record.scene = &scene;
    record.importResult = plugin.call(IMPORT_REQUEST, &scene, nullptr);
    out << "import request: " << record.importResult << "\n";
    if (record.importResult == 1) {
        DialogDriver driver(options.answer);
        driver.arm();
        record.optionsResult = plugin.call(IMPORT_OPTIONS_REQUEST, &scene, moduleHandleOf(plugin.library));
        record.dialog = driver.finish();
        for (const auto& line : INFO_LINES)
            out << line.label << ": " << wideToUtf8(record.dialog.text(line.id).c_str()) << "\n";
        out << "options request: " << record.optionsResult << "\n";
        printSummary(out, scene);
    }
    record.errorMessage = wideToUtf8(scene.errorMessage.wide);
    record.sceneFolder = folderOf(scenePath);

    if (options.jsonPath) {
        if (*options.jsonPath == "-") {
            writeJson(record, std::cout);
            std::cout.flush();
        } else {
            writeJson(record, jsonFile);
            jsonFile.close();
            if (!jsonFile) {
                err << "bxml-host: cannot write " << *options.jsonPath << "\n";
                return EXIT_IMPORT_FAILED;
            }
        }
    }

    if (record.importResult != 1) {
        const std::string message = printable(record.errorMessage);
        err << "bxml-host: " << (message.empty() ? std::string("the import request failed") : message) << "\n";
        return EXIT_IMPORT_FAILED;
    }
    if (record.optionsResult == RESULT_CANCELLED) return EXIT_CANCELLED;
    if (record.optionsResult != RESULT_DONE) {
        err << "bxml-host: the build failed";
        if (!record.errorMessage.empty()) err << ": " << printable(record.errorMessage);
        err << "\n";
        return EXIT_BUILD_FAILED;
    }
    if (options.gltfPath) return writeGltf(scene, gltfFile, options.gltfFault, err);
    return EXIT_DONE;
}

int hostToolMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // Alone on the line, these answer without loading the plug-in.
    if (args.size() == 1 && args[0] == "--version") {
        out << "bxml-host " << BXML_VERSION_TEXT << "\n";
        return EXIT_DONE;
    }
    if (args.size() == 1 && args[0] == "--help") {
        out << USAGE;
        return EXIT_DONE;
    }
    // The check reads in-process and never loads the plug-in.
    if (isCheckRun(args)) {
        const int status = checkToolMain(args, out, err);
        if (status == EXIT_USAGE) err << USAGE;
        return status;
    }
    ToolOptions options;
    std::string error;
    if (!parseToolOptions(args, options, error)) {
        err << "bxml-host: " << error << "\n" << USAGE;
        return EXIT_USAGE;
    }
    return runTool(options, out, err);
}

} // namespace bxml::host
