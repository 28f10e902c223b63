#include <tinyxml2.h>

#include "document/storage.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"

namespace bxml {
namespace {

using tinyxml2::XMLElement;

// An integer attribute as atoi reads it (clamped); absent counts as 0.
int64_t intAttribute(const XMLElement* element, const char* name) { return parseInt(element->Attribute(name)); }

int64_t countChildren(const XMLElement* parent, const char* name) {
    int64_t n = 0;
    for (const XMLElement* e = parent->FirstChildElement(name); e != nullptr; e = e->NextSiblingElement(name)) ++n;
    return n;
}

void readLinks(const XMLElement* links, GeometryRecord& geometry) {
    int64_t n = countChildren(links, "link");
    if (n == 0 || allocate(geometry.links, n) == 0) return;
    std::size_t i = 0;
    for (const XMLElement* link = links->FirstChildElement("link"); link != nullptr;
         link = link->NextSiblingElement("link"), ++i) {
        BoneLinkRecord& record = geometry.links[i];
        record.name.assign(link->Attribute("name"));
        record.index = parseInt(link->Attribute("index"));
    }
}

// The lists are read in this order because uv sets, colours and face
// materials are checked against the faces, and weights against the vertices.
// A list that fails does not stop the others, and the geometry keeps what was
// read: the parsers' results are not consulted.
void readGeometry(const XMLElement* element, GeometryRecord& geometry) {
    geometry.name.assign(element->Attribute("name"));

    if (const XMLElement* vertices = element->FirstChildElement("vertices")) {
        int64_t count = intAttribute(vertices, "count");
        if (count > 0) (void)parseVertices(geometry, count, vertices->GetText());
    }
    // `normals` is written by the exporter but carries nothing the document keeps.
    if (const XMLElement* indices = element->FirstChildElement("indices")) {
        int64_t count = intAttribute(indices, "count");
        if (count > 0) (void)parseIndices(geometry, count, indices->GetText());
    }
    int set = 0;
    for (const XMLElement* uvset = element->FirstChildElement("uvset"); uvset != nullptr && set < 2;
         uvset = uvset->NextSiblingElement("uvset"), ++set) {
        geometry.uvSetNames[set].assign(uvset->Attribute("name"));
        int64_t count = intAttribute(uvset, "count");
        if (count > 0) (void)parseUvSet(geometry, set, count, uvset->GetText());
    }
    if (const XMLElement* colors = element->FirstChildElement("colors")) {
        int64_t count = intAttribute(colors, "count");
        if (count > 0) (void)parseColors(geometry, count, colors->GetText());
    }
    if (const XMLElement* materials = element->FirstChildElement("materials")) {
        int64_t count = intAttribute(materials, "count");
        if (count > 0) (void)parseFaceMaterials(geometry, count, materials->GetText());
    }
    if (const XMLElement* links = element->FirstChildElement("links")) readLinks(links, geometry);
    if (const XMLElement* weights = element->FirstChildElement("weights")) {
        int64_t count = intAttribute(weights, "count");
        if (count > 0) {
            (void)parseWeights(geometry, count, weights->GetText(), intAttribute(weights, "maxBonePerVertex"));
        }
    }
}

} // namespace

int readGeometries(const XMLElement* section, SceneDocument& doc) {
    if (section == nullptr) return 1;
    int64_t n = countChildren(section, "geometry");
    if (n > 0 && allocate(doc.geometries, n) == 0) return 0;
    doc.geometriesInFile = static_cast<int32_t>(n);
    std::size_t i = 0;
    for (const XMLElement* geometry = section->FirstChildElement("geometry"); geometry != nullptr;
         geometry = geometry->NextSiblingElement("geometry"), ++i) {
        readGeometry(geometry, doc.geometries[i]);
    }
    return 1;
}

} // namespace bxml
