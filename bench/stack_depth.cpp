// bxml-stack-depth: measures how much stack TinyXML-2 needs per level of
// element nesting, in the build it is compiled in.
//
// TinyXML-2 parses nested elements by recursion (one ParseDeep per level) and
// destroys them by recursion too; the plug-in runs both on the host's thread.
// This program paints a region of its own stack with a pattern, parses and
// destroys a skeleton whose bones nest N levels deep with the plug-in's
// document settings, and finds the deepest byte that was written. The
// difference between two depths gives the bytes one level costs; the figure
// at the deepest nesting the build accepts shows the worst case.
//
// Usage: bxml-stack-depth [DEPTH...]   (default: 50, then the deepest accepted)
//
// Reading the painted bytes after the calls have returned is outside what C++
// promises; it is a measurement for the optimised builds (the figures go into
// the comment beside the depth limit), not a test.
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr unsigned char PAINT = 0xA5;
// 4 MB painted: beyond what any accepted depth needs, and inside the 8 MB
// stack of the main thread (Linux) and the executable's reserve (Windows).
constexpr std::size_t PAINT_BYTES = std::size_t{4} << 20;
// The bisection looks for the deepest accepted chain below this.
constexpr int MAX_BONES_TRIED = 8192;

// Elements above the bones: orvk, skeletons, skeleton.
constexpr int ELEMENTS_ABOVE_BONES = 3;

std::string boneChain(int bones) {
    std::string xml = "<orvk><skeletons><skeleton name=\"Rig\">";
    for (int i = 0; i < bones; ++i) xml += "<bone name=\"b" + std::to_string(i) + "\">";
    for (int i = 0; i < bones; ++i) xml += "</bone>";
    xml += "</skeleton></skeletons></orvk>";
    return xml;
}

// Paints PAINT_BYTES of stack just below the caller, in one frame, and
// returns the lowest painted address as a number (a pointer to a dead frame's
// local would be folded away by the compiler).
[[gnu::noinline]] std::uintptr_t paint() {
    volatile unsigned char block[PAINT_BYTES];
    for (std::size_t i = 0; i < PAINT_BYTES; ++i) block[i] = PAINT;
    return reinterpret_cast<std::uintptr_t>(&block[0]);
}

// Parses and destroys the document; returns whether the parse succeeded.
[[gnu::noinline]] bool parseAndDestroy(const std::string& xml) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    return document.Parse(xml.c_str(), xml.size()) == tinyxml2::XML_SUCCESS;
}

struct Measurement {
    bool parsed = false;
    std::ptrdiff_t bytes = 0; // stack used below the caller's frame
};

[[gnu::noinline]] Measurement measure(const std::string& xml) {
    const auto* lowest = reinterpret_cast<const volatile unsigned char*>(paint());
    Measurement result;
    result.parsed = parseAndDestroy(xml);
    const volatile unsigned char* top = lowest + PAINT_BYTES;
    const volatile unsigned char* p = lowest;
    while (p < top && *p == PAINT) ++p;
    result.bytes = top - p;
    return result;
}

// The deepest bone chain the build parses, by bisection.
int deepestAccepted() {
    int good = 0;
    int bad = MAX_BONES_TRIED;
    while (bad - good > 1) {
        const int mid = good + (bad - good) / 2;
        if (parseAndDestroy(boneChain(mid))) good = mid;
        else bad = mid;
    }
    return good;
}

} // namespace

int main(int argc, char** argv) {
    const int deepest = deepestAccepted();
    std::vector<int> depths;
    for (int i = 1; i < argc; ++i) depths.push_back(std::atoi(argv[i]));
    if (depths.empty()) depths = {50, deepest};

    std::printf("deepest accepted bone chain: %d bones (%d elements deep)\n", deepest, deepest + ELEMENTS_ABOVE_BONES);
    const Measurement base = measure(boneChain(depths.front()));
    std::printf("%8s %10s %12s %14s\n", "bones", "parsed", "stack bytes", "bytes / level");
    for (int bones : depths) {
        const Measurement m = measure(boneChain(bones));
        const int levels = bones - depths.front();
        std::printf("%8d %10s %12td", bones, m.parsed ? "yes" : "no", m.bytes);
        if (levels > 0) std::printf(" %14.1f", static_cast<double>(m.bytes - base.bytes) / levels);
        std::printf("\n");
    }
    return 0;
}
