// Reader of the geometries section: names, number lists and bone links.
#include <tinyxml2.h>

#include "reader/each_child.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"
#include "reader/section_readers.h"

namespace bxml {
namespace {

using tinyxml2::XMLElement;

// An integer attribute as atoi reads it (clamped); absent counts as 0.
int64_t intAttribute(const XMLElement* element, const char* name) { return parseInt(element->Attribute(name)); }

void fillLink(const XMLElement* link, BoneLinkRecord& record) {
    record.name.assign(link->Attribute("name"));
    record.index = parseInt(link->Attribute("index"));
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
        geometry.materialsLine = materials->GetLineNum();
        int64_t count = intAttribute(materials, "count");
        if (count > 0) (void)parseFaceMaterials(geometry, count, materials->GetText());
    }
    if (const XMLElement* links = element->FirstChildElement("links")) {
        (void)fillEachChild(childrenNamed(links, "link"), geometry.links, fillLink); // links are optional data
    }
    if (const XMLElement* weights = element->FirstChildElement("weights")) {
        int64_t count = intAttribute(weights, "count");
        if (count > 0) {
            (void)parseWeights(geometry, count, weights->GetText(), intAttribute(weights, "maxBonePerVertex"));
        }
    }
}

} // namespace

int readGeometries(const XMLElement* section, SceneDocument& doc, Diagnostics*) {
    return readSectionItems(section, "geometry", doc.geometries, doc.geometriesInFile, readGeometry);
}

} // namespace bxml
