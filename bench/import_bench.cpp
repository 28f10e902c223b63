// bxml-bench FILE... [--runs N]: the import of each file in five stages, side
// by side, with what XML parsing alone and a straightforward reader cost:
//   (a) floor     TinyXML-2 with the plug-in's settings: LoadFile, then every
//                 element's text walked in full;
//   (b) simple    (a), and each text copied and cut with strtok, atoi for
//                 index lists and atof for every other token;
//   (c) read      bxml::readSceneFile into a SceneDocument (names resolved);
//   (d) build     bxml::prepareDocument and bxml::buildModel of that document
//                 (read untimed) into the reference host, with the options
//                 dialog's defaults;
//   (e) import    the plug-in library through its exports: the import request,
//                 then the options request with the dialog confirmed by OK.
// Every measurement runs in a process of its own, forked for it, so that each
// starts fresh and its peak resident memory is the child's ru_maxrss; the
// stages take turns round by round (a b c d e, a b c d e, ...) so that noise
// on the machine falls on all of them alike. Children time only the measured
// part and report through a pipe; what they report (counts, checksums) is
// compared across stages and rounds. Beside the times each stage shows the
// page faults and kernel time of its measured part: on machines where fresh
// memory is dear (virtual machines), they explain much of a stage's cost.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tinyxml2.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "builder/import_driver.h"
#include "builder/prepare.h"
#include "contract/import_options.h"
#include "document/records.h"
#include "host/plugin_loader.h"
#include "host/reference_host.h"
#include "platform/standin/ui_standin.h"
#include "platform/text.h"
#include "reader/file_reader.h"

namespace {

using namespace bxml;
using namespace bxml::bench;

enum Stage { FLOOR, SIMPLE, READ, BUILD, IMPORT, STAGE_COUNT };

const char* const STAGE_LABELS[STAGE_COUNT] = {
    "(a) floor: TinyXML-2 load + text walk", "(b) simple: (a) + strtok, atoi/atof",
    "(c) our read: readSceneFile",           "(d) our build: buildModel",
    "(e) whole import through the exports",
};

// What a child sends back: plain bytes, one write well below PIPE_BUF.
struct StageReport {
    int32_t ok = 0;
    double seconds = 0.0;
    // The timed part's page faults and the processor time the kernel spent
    // for it (mostly giving the process fresh memory).
    int64_t pageFaults = 0;
    double systemSeconds = 0.0;
    // (a), (b): the XML as walked.
    uint64_t elements = 0;
    uint64_t textBytes = 0;
    // (b): the tokens converted and a sum of their values.
    uint64_t tokens = 0;
    double valueSum = 0.0;
    // (c): what the build is to create; (d), (e): what the host holds.
    int64_t vertices = 0;
    int64_t faces = 0;
    int64_t bones = 0;
    // (c): the document's own totals.
    int64_t geometries = 0;
    int64_t objects = 0;
    int64_t animationNodes = 0;
    char message[200] = {};
};

void fail(StageReport& report, const std::string& message) {
    report.ok = 0;
    std::snprintf(report.message, sizeof report.message, "%s", message.c_str());
}

// Times the measured part of a stage: wall-clock seconds, and from the
// process's resource usage the page faults and kernel time in between.
class Stopwatch {
public:
    Stopwatch() : usage_(usageNow()), start_(Clock::now()) {}

    void stop(StageReport& report) const {
        report.seconds = secondsSince(start_);
        const struct rusage end = usageNow();
        report.pageFaults = (end.ru_minflt + end.ru_majflt) - (usage_.ru_minflt + usage_.ru_majflt);
        report.systemSeconds = seconds(end.ru_stime) - seconds(usage_.ru_stime);
    }

private:
    static struct rusage usageNow() {
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        return usage;
    }
    static double seconds(const struct timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    }

    struct rusage usage_;
    Clock::time_point start_;
};

// (a) and (b). The document is destroyed inside the timed part, as the
// reader's is.
void runXmlStage(const std::string& path, bool convert, StageReport& report) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return fail(report, path + ": " + std::strerror(errno));
    std::vector<char> buffer(1 << 16);
    const Stopwatch stopwatch;
    {
        tinyxml2::XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
        if (xml.LoadFile(file) != tinyxml2::XML_SUCCESS) {
            std::fclose(file);
            return fail(report, std::string("TinyXML-2: ") + xml.ErrorStr());
        }
        forEachElement(xml.RootElement(), [&](const tinyxml2::XMLElement& e) {
            ++report.elements;
            const char* text = e.GetText();
            if (text == nullptr) return;
            const std::size_t length = std::strlen(text);
            report.textBytes += length;
            if (!convert) return;
            if (buffer.size() < length + 1) buffer.resize(length + 1);
            std::memcpy(buffer.data(), text, length + 1);
            const bool indices = std::strcmp(e.Name(), "indices") == 0;
            for (char* token = std::strtok(buffer.data(), " ,\t\r\n"); token != nullptr;
                 token = std::strtok(nullptr, " ,\t\r\n")) {
                ++report.tokens;
                report.valueSum += indices ? std::atoi(token) : std::atof(token);
            }
        });
    }
    stopwatch.stop(report);
    std::fclose(file);
    report.ok = report.elements > 0 ? 1 : 0;
    if (report.ok == 0) fail(report, "no elements");
}

// What the build creates from a read document with the dialog's default
// options: host vertices and polygons for the geometries it includes (with
// "scene meshes only", those a mesh or font object places; without scenes,
// none), one host bone per bone node.
void expectModel(const SceneDocument& doc, StageReport& report) {
    const ImportOptions defaults{};
    std::vector<char> included(doc.geometries.size(), defaults.sceneMeshesOnly != 1 ? 1 : 0);
    for (const SceneRecord& scene : doc.scenes) {
        for (const SceneObjectRecord& object : scene.objects) {
            const bool places =
                equalsIgnoreCase(object.type.c_str(), "mesh") || equalsIgnoreCase(object.type.c_str(), "font");
            if (places && object.targetIndex >= 0 && object.targetIndex < countOf(doc.geometries)) {
                included[static_cast<std::size_t>(object.targetIndex)] = 1;
            }
        }
    }
    if (doc.scenes.empty() && defaults.sceneMeshesOnly == 1) included.assign(included.size(), 0);
    for (std::size_t g = 0; g < doc.geometries.size(); ++g) {
        if (included[g] == 0) continue;
        report.vertices += countOf(doc.geometries[g].vertices);
        report.faces += countOf(doc.geometries[g].faces);
    }
    report.bones = countOf(doc.boneNodes);
    report.geometries = countOf(doc.geometries);
    for (const SceneRecord& scene : doc.scenes) report.objects += countOf(scene.objects);
    for (const AnimationRecord& animation : doc.animations) {
        for (const AnimationSkeletonTrack& track : animation.skeletonTracks)
            report.animationNodes += countOf(track.nodes);
    }
}

void describeHost(const host::ReferenceScene& scene, StageReport& report) {
    report.vertices = scene.vertexCount;
    for (const auto& block : scene.polygonBlocks) report.faces += block->polygonCount;
    report.bones = scene.boneCount;
}

// Reads the file into doc; with timed, the read is the measured part.
bool readDocument(const std::string& path, SceneDocument& doc, StageReport& report, bool timed) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        fail(report, path + ": " + std::strerror(errno));
        return false;
    }
    doc.filePath.assign(utf8ToWide(path.c_str()).c_str());
    const Stopwatch stopwatch;
    const int result = readSceneFile(doc, file);
    if (timed) stopwatch.stop(report);
    std::fclose(file);
    if (result != 1) {
        fail(report, "readSceneFile answered " + std::to_string(result));
        return false;
    }
    return true;
}

void runReadStage(const std::string& path, StageReport& report) {
    auto doc = std::make_unique<SceneDocument>();
    if (!readDocument(path, *doc, report, true)) return;
    expectModel(*doc, report);
    report.ok = 1;
}

std::unique_ptr<host::ReferenceScene> makeHostScene(const std::string& path) {
    auto scene = std::make_unique<host::ReferenceScene>();
    scene->setLogging(false);
    scene->setFileName(utf8ToWide(path.c_str()));
    return scene;
}

void runBuildStage(const std::string& path, StageReport& report) {
    auto doc = std::make_unique<SceneDocument>();
    if (!readDocument(path, *doc, report, false)) return;
    auto scene = makeHostScene(path);
    const ImportOptions options{};
    const Stopwatch stopwatch;
    prepareDocument(*doc);
    const int built = buildModel(*doc, options, scene.get());
    stopwatch.stop(report);
    if (built != 1) return fail(report, "buildModel answered " + std::to_string(built));
    describeHost(*scene, report);
    report.ok = 1;
}

void runImportStage(const std::string& path, StageReport& report) {
    host::LoadedPlugin plugin;
    const std::string library = host::defaultPluginPath();
    if (!plugin.load(library)) return fail(report, library + ": " + plugin.library.error());
    if (plugin.initResult != 1 || plugin.callback() == nullptr) return fail(report, "the plug-in did not register");
    ui::standin::setDialogUser([](ui::standin::DialogSession& session) { session.press(1); });
    auto scene = makeHostScene(path);
    const Stopwatch stopwatch;
    const int32_t imported = plugin.call(IMPORT_REQUEST, scene.get(), nullptr);
    const int32_t built =
        imported == 1 ? plugin.call(IMPORT_OPTIONS_REQUEST, scene.get(), host::moduleHandleOf(plugin.library)) : -1;
    stopwatch.stop(report);
    if (imported != 1 || built != 1) {
        return fail(report, "import request answered " + std::to_string(imported) + ", options request " +
                                std::to_string(built) + " (" + scene->errorMessage.narrow + ")");
    }
    if (ui::standin::dialogsShown() != 1) return fail(report, "the options dialog was not shown once");
    describeHost(*scene, report);
    report.ok = 1;
}

void runStage(Stage stage, const std::string& path, StageReport& report) {
    switch (stage) {
    case FLOOR:
        return runXmlStage(path, false, report);
    case SIMPLE:
        return runXmlStage(path, true, report);
    case READ:
        return runReadStage(path, report);
    case BUILD:
        return runBuildStage(path, report);
    case IMPORT:
        return runImportStage(path, report);
    case STAGE_COUNT:
        break;
    }
    fail(report, "no such stage");
}

struct Measurement {
    StageReport report;
    double peakMegabytes = 0.0;
};

// Runs the stage in a forked child. False (with error) when the child could
// not be run, died, or reported a failure.
bool measure(Stage stage, const std::string& path, Measurement& out, std::string& error) {
    int channel[2];
    if (pipe(channel) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(channel[0]);
        close(channel[1]);
        return false;
    }
    if (pid == 0) {
        close(channel[0]);
        StageReport report;
        try {
            runStage(stage, path, report);
        } catch (const std::exception& e) {
            fail(report, std::string("exception: ") + e.what());
        }
        const ssize_t written = write(channel[1], &report, sizeof report);
        // No destructors, no atexit handlers, no second flush of the
        // parent's buffers: the measured process ends here.
        _exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 3);
    }
    close(channel[1]);
    std::size_t received = 0;
    char* bytes = reinterpret_cast<char*>(&out.report);
    while (received < sizeof out.report) {
        const ssize_t n = read(channel[0], bytes + received, sizeof out.report - received);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        received += static_cast<std::size_t>(n);
    }
    close(channel[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            error = std::string("wait4: ") + std::strerror(errno);
            return false;
        }
    }
    out.peakMegabytes = static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                    : "exit status " + std::to_string(WEXITSTATUS(status));
        return false;
    }
    if (received != sizeof out.report) {
        error = "incomplete report";
        return false;
    }
    out.report.message[sizeof out.report.message - 1] = '\0';
    if (out.report.ok != 1) {
        error = out.report.message;
        return false;
    }
    return true;
}

// The stages of one round must agree with each other, and every round with
// the first. Returns the first disagreement, or an empty string.
std::string disagreement(const Measurement (&round)[STAGE_COUNT], const Measurement (&first)[STAGE_COUNT]) {
    const StageReport& a = round[FLOOR].report;
    const StageReport& b = round[SIMPLE].report;
    const StageReport& c = round[READ].report;
    const StageReport& d = round[BUILD].report;
    const StageReport& e = round[IMPORT].report;
    auto counts = [](const StageReport& r) {
        return std::to_string(r.vertices) + " vertices, " + std::to_string(r.faces) + " faces, " +
               std::to_string(r.bones) + " bones";
    };
    if (a.elements != b.elements || a.textBytes != b.textBytes) return "(a) and (b) walked different texts";
    if (c.vertices != d.vertices || c.faces != d.faces || c.bones != d.bones) {
        return "(c) expects " + counts(c) + ", (d) built " + counts(d);
    }
    if (d.vertices != e.vertices || d.faces != e.faces || d.bones != e.bones) {
        return "(d) built " + counts(d) + ", (e) built " + counts(e);
    }
    const StageReport& b0 = first[SIMPLE].report;
    const StageReport& c0 = first[READ].report;
    if (a.textBytes != first[FLOOR].report.textBytes || b.tokens != b0.tokens ||
        !(b.valueSum == b0.valueSum || (std::isnan(b.valueSum) && std::isnan(b0.valueSum))) ||
        c.vertices != c0.vertices || c.objects != c0.objects || c.animationNodes != c0.animationNodes ||
        e.faces != first[IMPORT].report.faces) {
        return "a round gave other results than the first";
    }
    return std::string();
}

bool fileSize(const std::string& path, uint64_t& size) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

// Reads the file once so that the first measured stage does not pay for the
// disk alone.
void warmCache(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return;
    std::vector<char> buffer(1 << 20);
    while (std::fread(buffer.data(), 1, buffer.size(), file) == buffer.size()) {}
    std::fclose(file);
}

bool benchFile(const std::string& path, int runs) {
    uint64_t size = 0;
    if (!fileSize(path, size)) {
        std::fprintf(stderr, "bxml-bench: %s: not a readable file\n", path.c_str());
        return false;
    }
    warmCache(path);
    const double fileMegabytes = megabytes(size);

    std::vector<double> seconds[STAGE_COUNT];
    std::vector<double> peaks[STAGE_COUNT];
    std::vector<double> faults[STAGE_COUNT];
    std::vector<double> kernel[STAGE_COUNT];
    Measurement first[STAGE_COUNT];
    for (int run = 0; run < runs; ++run) {
        Measurement round[STAGE_COUNT];
        for (int s = 0; s < STAGE_COUNT; ++s) {
            std::string error;
            if (!measure(static_cast<Stage>(s), path, round[s], error)) {
                std::fprintf(stderr, "bxml-bench: %s: %s, round %d: %s\n", path.c_str(), STAGE_LABELS[s], run + 1,
                             error.c_str());
                return false;
            }
            seconds[s].push_back(round[s].report.seconds);
            peaks[s].push_back(round[s].peakMegabytes);
            faults[s].push_back(static_cast<double>(round[s].report.pageFaults));
            kernel[s].push_back(round[s].report.systemSeconds);
        }
        if (run == 0) std::copy(std::begin(round), std::end(round), std::begin(first));
        const std::string problem = disagreement(round, first);
        if (!problem.empty()) {
            std::fprintf(stderr, "bxml-bench: %s: round %d: %s\n", path.c_str(), run + 1, problem.c_str());
            return false;
        }
    }

    const StageReport& c = first[READ].report;
    std::printf("%s: %.1f MB (%llu bytes), %d run%s\n", path.c_str(), fileMegabytes,
                static_cast<unsigned long long>(size), runs, runs == 1 ? "" : "s");
    std::printf(
        "  elements %lld, geometries %lld; built: vertices %lld, faces %lld, bones %lld; animated nodes %lld, "
        "objects %lld\n",
        static_cast<long long>(first[FLOOR].report.elements), static_cast<long long>(c.geometries),
        static_cast<long long>(c.vertices), static_cast<long long>(c.faces), static_cast<long long>(c.bones),
        static_cast<long long>(c.animationNodes), static_cast<long long>(c.objects));
    std::printf("  %-40s %9s %9s %9s %9s %12s %9s %9s\n", "stage", "median s", "min s", "max s", "MB/s", "peak RSS MB",
                "faults k", "kernel s");
    Summary time[STAGE_COUNT];
    Summary peak[STAGE_COUNT];
    for (int s = 0; s < STAGE_COUNT; ++s) {
        time[s] = summarize(seconds[s]);
        peak[s] = summarize(peaks[s]);
        const double rate = time[s].median > 0.0 ? fileMegabytes / time[s].median : 0.0;
        std::printf("  %-40s %9.3f %9.3f %9.3f %9.1f %12.1f %9.1f %9.3f\n", STAGE_LABELS[s], time[s].median,
                    time[s].min, time[s].max, rate, peak[s].median, summarize(faults[s]).median / 1000.0,
                    summarize(kernel[s]).median);
    }
    auto ratio = [](double x, double y) { return y > 0.0 ? x / y : 0.0; };
    std::printf("  (c+d)/(a) %.2f   (e)/(a) %.2f   (b)/(e) %.2f   peak RSS (e) / file size %.2f\n\n",
                ratio(time[READ].median + time[BUILD].median, time[FLOOR].median),
                ratio(time[IMPORT].median, time[FLOOR].median), ratio(time[SIMPLE].median, time[IMPORT].median),
                ratio(peak[IMPORT].median, fileMegabytes));
    return true;
}

// --profile: one stage, once, in this process, for a profiler to watch.
bool profileFile(const std::string& path, Stage stage) {
    warmCache(path);
    StageReport report;
    runStage(stage, path, report);
    if (report.ok != 1) {
        std::fprintf(stderr, "bxml-bench: %s: %s: %s\n", path.c_str(), STAGE_LABELS[stage], report.message);
        return false;
    }
    std::printf("%s: %s %.3f s (kernel %.3f s, %lld page faults)\n", path.c_str(), STAGE_LABELS[stage], report.seconds,
                report.systemSeconds, static_cast<long long>(report.pageFaults));
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "usage: bxml-bench FILE... [--runs N]   (N >= 1, default 5)\n"
                 "       bxml-bench FILE --profile a|b|c|d|e   (that stage once, unforked)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int profiled = -1;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs") {
            if (i + 1 >= argc) return usage();
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > 1000) return usage();
            runs = static_cast<int>(n);
        } else if (arg == "--profile") {
            if (i + 1 >= argc) return usage();
            const std::string letter = argv[++i];
            if (letter.size() != 1 || letter[0] < 'a' || letter[0] >= 'a' + STAGE_COUNT) return usage();
            profiled = letter[0] - 'a';
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return usage();
    if (profiled >= 0) {
        // One file: the stages keep process-wide state (the loaded plug-in,
        // the dialog stand-in's count) that a second file would inherit.
        if (files.size() != 1) return usage();
        return profileFile(files[0], static_cast<Stage>(profiled)) ? 0 : 1;
    }

    std::printf("bxml-bench: each stage in a fresh process, stages interleaved per round; MB = 10^6 bytes\n\n");
    bool ok = true;
    for (const std::string& file : files) ok = benchFile(file, runs) && ok;
    return ok ? 0 : 1;
}
