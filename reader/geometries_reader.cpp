// Reader of the geometries section: names, number lists and bone links.
#include <tinyxml2.h>

#include <algorithm>
#include <string>

#include "reader/each_child.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {
namespace {

using tinyxml2::XMLElement;

void fillLink(const XMLElement* link, BoneLinkRecord& record) {
    record.name.assign(link->Attribute("name"));
    record.index = parseInt(link->Attribute("index"));
}

// Given a sink, reports why the list `e` was not read (nothing when it was).
// have: the corners, faces or vertices the count is checked against, named by
// what; skipped: what the geometry keeps instead.
void reportDrop(Diagnostics* sink, ListResult result, const XMLElement& e, int64_t count, int64_t have,
                const char* what, const char* skipped) {
    if (sink == nullptr || result == LIST_READ) return;
    const std::string list = std::string("`") + e.Name() + "`";
    switch (result) {
    case LIST_READ:
    case LIST_NO_NUMBERS: // matrices only
        break;
    case LIST_COUNT_MISMATCH:
        sink->warn(e.GetLineNum(), FindingKind::CountMismatch,
                   "the count " + std::to_string(count) + " of " + list + " does not match the " +
                       std::to_string(have) + " " + what + " of its geometry",
                   skipped);
        break;
    case LIST_NO_ITEMS: {
        const char* name = e.Attribute("name");
        sink->warn(e.GetLineNum(), FindingKind::CountMismatch,
                   list + (name != nullptr ? " " + quoted(name) : std::string()) + " for a geometry without " + what,
                   skipped);
        break;
    }
    case LIST_IMPLAUSIBLE_COUNT:
        sink->warn(e.GetLineNum(), FindingKind::ImplausibleCount,
                   "the count " + std::to_string(count) + " of " + list + " is far more than its text could hold",
                   "the list is not read");
        break;
    case LIST_OUT_OF_MEMORY:
        sink->warn(e.GetLineNum(), FindingKind::Dropped,
                   "no memory for the " + std::to_string(count) + " items of " + list, skipped);
        break;
    }
}

// Given a sink, reports what the tokens of the flat list `e` lose, and
// numbers that fall short of or go beyond its count of items (perItem numbers
// each); defaults: what items without numbers keep.
void reportFlatList(Diagnostics& sink, const XMLElement& e, const TokenFindings& tokens, int64_t items, int perItem,
                    const char* defaults) {
    tokens.report(sink, e.GetLineNum(), e.Name());
    const int64_t numbers = tokens.tokens();
    const int64_t expected = items * perItem;
    if (numbers == expected) return;
    const std::string holds = std::string("`") + e.Name() + "` holds " + std::to_string(numbers) +
                              (numbers == 1 ? " number, " : " numbers, ");
    const std::string promised =
        " the " + std::to_string(expected) + " its count of " + std::to_string(items) + " promises";
    if (numbers < expected) {
        sink.warn(e.GetLineNum(), FindingKind::CountMismatch, holds + "fewer than" + promised,
                  std::string("the items without numbers keep their defaults: ") + defaults);
    } else {
        sink.warn(e.GetLineNum(), FindingKind::CountMismatch, holds + "more than" + promised,
                  "the last " + std::to_string(numbers - expected) + " are ignored");
    }
}

// Reports what the index list `e` of count faces holds beyond the faces read:
// its tokens, groups short of or beyond its count, faces of more than 4
// indices, and the first face the build stops at (fewer than 3 indices, or an
// index outside the geometry's vertices).
void reportIndices(Diagnostics& sink, const XMLElement& e, int64_t count, const IndexFindings& found,
                   const GeometryRecord& geometry) {
    const int line = e.GetLineNum();
    found.tokens.report(sink, line, e.Name());
    const int64_t groups = found.groups;
    if (groups < count) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`indices` holds " + plural(groups, "face", "faces") + ", fewer than its count of " +
                      std::to_string(count),
                  "the missing faces keep vertex index -1, and the build stops at the first of them");
    } else if (groups > count) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`indices` holds " + plural(groups, "face", "faces") + ", more than its count of " +
                      std::to_string(count),
                  "the last " + std::to_string(groups - count) + " are ignored");
    }
    if (found.longFaces > 0) {
        sink.warn(line, FindingKind::Ignored,
                  plural(found.longFaces, "face", "faces") +
                      " of `indices` with more than 4 indices (the first: face " + std::to_string(found.firstLong) +
                      ")",
                  "only the first 4 indices of each are read", found.longFaces);
    }
    const int64_t vertices = static_cast<int64_t>(geometry.vertices.size());
    const int64_t read = std::min<int64_t>(groups, static_cast<int64_t>(geometry.faces.size()));
    for (int64_t f = 0; f < read; ++f) {
        if (f == found.firstShort) {
            sink.warn(line, FindingKind::Dropped,
                      "face " + std::to_string(f) + " of `indices` has " +
                          plural(found.firstShortIndices, "index", "indices") + ", fewer than 3",
                      "the build stops there: this face and every face and mesh after it get no polygons");
            return;
        }
        const FaceRecord& face = geometry.faces[static_cast<std::size_t>(f)];
        for (int c = 0; c < face.cornerCount && c < 4; ++c) {
            const int32_t v = face.vertexIndices[c];
            if (v < 0 || v >= vertices) {
                sink.warn(line, FindingKind::Dropped,
                          "face " + std::to_string(f) + " of `indices` uses vertex index " + std::to_string(v) +
                              ", outside the geometry's " + plural(vertices, "vertex", "vertices"),
                          "the build stops there (unless the index happens to name a vertex of another mesh): this "
                          "face and every face and mesh after it get no polygons");
                return;
            }
        }
    }
}

// Reports what the weight list `e` of count vertices, most pairs each, holds
// beyond the pairs kept: its tokens, groups short of or beyond its count,
// link indices without a weight, and pairs beyond the most.
void reportWeights(Diagnostics& sink, const XMLElement& e, int64_t count, int64_t most, const WeightFindings& found) {
    const int line = e.GetLineNum();
    found.tokens.report(sink, line, e.Name());
    if (found.groups < count) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`weights` holds the weights of " + plural(found.groups, "vertex", "vertices") +
                      ", fewer than its count of " + std::to_string(count),
                  "the other vertices have no weights");
    } else if (found.groups > count) {
        sink.warn(line, FindingKind::CountMismatch,
                  "`weights` holds the weights of " + plural(found.groups, "vertex", "vertices") +
                      ", more than its count of " + std::to_string(count),
                  "the last " + std::to_string(found.groups - count) + " are ignored");
    }
    if (found.odd > 0) {
        sink.warn(line, FindingKind::Ignored,
                  plural(found.odd, "vertex", "vertices") +
                      " of `weights` ending in a link index without its weight (the first: vertex " +
                      std::to_string(found.firstOdd) + ")",
                  "that link index is dropped", found.odd);
    }
    if (found.over > 0) {
        sink.warn(line, FindingKind::Ignored,
                  plural(found.over, "vertex", "vertices") + " of `weights` with more than `maxBonePerVertex` " +
                      std::to_string(most) + " pairs (the first: vertex " + std::to_string(found.firstOver) + ")",
                  "only the first " + std::to_string(most) + " pairs of each are kept", found.over);
    }
}

// How a flat list is read and reported: its numbers per item and what items
// without numbers keep; have, named by what: the corners, faces or vertices
// its count must match; skipped: what the geometry keeps when it is dropped.
struct FlatList {
    int perItem;
    const char* defaults;
    int64_t have;
    const char* what;
    const char* skipped;
};

// Reads the list `e` of count items with parse(), or, given a sink, with
// parse(tokens), the checked parse, and reports there what it drops or loses.
template <class Parse>
void readFlatList(Diagnostics* sink, const XMLElement& e, int64_t count, const FlatList& list, Parse parse) {
    if (sink == nullptr) {
        (void)parse();
        return;
    }
    TokenFindings tokens;
    const ListResult result = parse(tokens);
    if (result != LIST_READ) {
        reportDrop(sink, result, e, count, list.have, list.what, list.skipped);
        return;
    }
    reportFlatList(*sink, e, tokens, count, list.perItem, list.defaults);
}

// The lists are read in this order because uv sets, colours and face
// materials are checked against the faces, and weights against the vertices.
// A list that fails does not stop the others, and the geometry keeps what was
// read; a sink hears why a list was dropped.
void readGeometry(const XMLElement* element, GeometryRecord& geometry, Diagnostics* sink) {
    geometry.name.assign(element->Attribute("name"));

    if (const XMLElement* vertices = element->FirstChildElement("vertices")) {
        int64_t count = countAttribute(*vertices, "count", sink, "the list is not read: the geometry has no vertices");
        if (count > 0) {
            const char* text = vertices->GetText();
            readFlatList(sink, *vertices, count,
                         {3, "position (0, 0, 0)", 0, "", "the list is not read: the geometry has no vertices"},
                         [&](auto&... tokens) { return parseVertices(geometry, count, text, tokens...); });
        }
    }
    // `normals` is written by the exporter but carries nothing the document keeps.
    if (const XMLElement* indices = element->FirstChildElement("indices")) {
        int64_t count = countAttribute(*indices, "count", sink, "the list is not read: the geometry has no faces");
        if (count > 0 && sink == nullptr) {
            (void)parseIndices(geometry, count, indices->GetText());
        } else if (count > 0) {
            IndexFindings found;
            const ListResult result = parseIndices(geometry, count, indices->GetText(), found);
            reportDrop(sink, result, *indices, count, 0, "", "the list is not read: the geometry has no faces");
            if (result == LIST_READ) reportIndices(*sink, *indices, count, found, geometry);
        }
    }
    const int64_t corners = totalCorners(geometry);
    int set = 0;
    for (const XMLElement* uvset = element->FirstChildElement("uvset"); uvset != nullptr;
         uvset = uvset->NextSiblingElement("uvset"), ++set) {
        if (set >= 2) {
            if (sink != nullptr) {
                sink->warn(uvset->GetLineNum(), FindingKind::Ignored,
                           "a third `uvset` " + quoted(uvset->Attribute("name")),
                           "ignored: a geometry keeps two uv sets");
            }
            break;
        }
        geometry.uvSetNames[set].assign(uvset->Attribute("name"));
        int64_t count = countAttribute(*uvset, "count", sink, "the list is not read: the uv set stays (0, 0)");
        if (count > 0) {
            const char* text = uvset->GetText();
            readFlatList(sink, *uvset, count,
                         {2, "(0, 0)", corners, "face corners", "the list is skipped: the uv set stays (0, 0)"},
                         [&](auto&... tokens) { return parseUvSet(geometry, set, count, text, tokens...); });
        }
    }
    if (const XMLElement* colors = element->FirstChildElement("colors")) {
        int64_t count = countAttribute(*colors, "count", sink, "the list is not read: the colours stay white");
        if (count > 0) {
            const char* text = colors->GetText();
            readFlatList(sink, *colors, count,
                         {3, "white", corners, "face corners", "the list is skipped: the colours stay white"},
                         [&](auto&... tokens) { return parseColors(geometry, count, text, tokens...); });
        }
    }
    if (const XMLElement* materials = element->FirstChildElement("materials")) {
        geometry.materialsLine = materials->GetLineNum();
        int64_t count = countAttribute(*materials, "count", sink, "the list is not read: the faces have no material");
        if (count > 0) {
            const char* text = materials->GetText();
            readFlatList(sink, *materials, count,
                         {1, "no material (-1)", static_cast<int64_t>(geometry.faces.size()), "faces",
                          "the list is skipped: the faces have no material"},
                         [&](auto&... tokens) { return parseFaceMaterials(geometry, count, text, tokens...); });
        }
    }
    if (const XMLElement* links = element->FirstChildElement("links")) {
        (void)fillEachChild(childrenNamed(links, "link"), geometry.links, fillLink); // links are optional data
    }
    if (const XMLElement* weights = element->FirstChildElement("weights")) {
        geometry.weightsLine = weights->GetLineNum();
        int64_t count = countAttribute(*weights, "count", sink, "the list is not read: no vertex has weights");
        const int64_t most =
            countAttribute(*weights, "maxBonePerVertex", sink, "the list is not read: no vertex has weights");
        if (count > 0 && sink == nullptr) {
            (void)parseWeights(geometry, count, weights->GetText(), most);
        } else if (count > 0) {
            WeightFindings found;
            const ListResult result = parseWeights(geometry, count, weights->GetText(), most, found);
            reportDrop(sink, result, *weights, count, static_cast<int64_t>(geometry.vertices.size()), "vertices",
                       "the list is skipped: no vertex has weights");
            if (result == LIST_READ && most > 0) reportWeights(*sink, *weights, count, most, found);
        }
    }
}

} // namespace

int readGeometries(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    return readSectionItems(section, "geometry", doc.geometries, doc.geometriesInFile,
                            [sink](const XMLElement* e, GeometryRecord& geometry) { readGeometry(e, geometry, sink); });
}

} // namespace bxml
