// Readers of the images, textures and materials sections.
#include <tinyxml2.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "document/storage.h"
#include "platform/files.h"
#include "platform/text.h"
#include "reader/each_child.h"
#include "reader/section_readers.h"
#include "reader/xml_helpers.h"

namespace bxml {

using tinyxml2::XMLElement;

namespace {

// Capacity of the buffer in which an image url is cut down to its file name.
constexpr std::size_t URL_NAME_CAPACITY = 260;
// The image path takes at most this many wide characters, terminator included.
constexpr std::size_t IMAGE_PATH_LIMIT = 255;

void fillImage(const XMLElement* e, ImageRecord& image, Diagnostics* sink) {
    copyAttribute(e, "name", image.name);
    const char* url = e->Attribute("url");
    if (url == nullptr) return;
    bool whole = true;
    imagePathOfUrl(url, image.path, sink != nullptr ? &whole : nullptr);
    if (!whole) {
        sink->warn(e->GetLineNum(), FindingKind::Cut,
                   "the file name of `url` is longer than the " + std::to_string(std::wcslen(image.path.c_str())) +
                       " characters the import keeps",
                   "cut short, so it names a file that is not there");
    }
}

void fillTexture(const XMLElement* e, TextureRecord& texture, Diagnostics* sink) {
    copyAttribute(e, "name", texture.name);
    copyAttribute(e, "type", texture.type);
    copyChildText(e, "image", texture.imageName);
    if (sink != nullptr && childText(e, "image") == nullptr) {
        sink->warn(e->GetLineNum(), FindingKind::Missing, "texture " + quoted(e->Attribute("name")) + " names no image",
                   "no texture map is made from it");
    }
}

// The slot a material texture goes to by its map_type (compared without case),
// or -1 when the texture is to be ignored.
int slotOfMapType(const char* mapType) {
    if (mapType == nullptr || equalsIgnoreCase(mapType, "diffuse color")) return 0;
    if (equalsIgnoreCase(mapType, "alpha")) return 1;
    if (equalsIgnoreCase(mapType, "normal")) return 2;
    return -1;
}

void fillMaterial(const XMLElement* e, MaterialRecord& material, Diagnostics* diagnostics) {
    copyAttribute(e, "name", material.name);
    auto report = [&](const XMLElement* t, FindingKind kind, const std::string& what, std::string instead) {
        if (diagnostics == nullptr) return;
        diagnostics->warn(t->GetLineNum(), kind, "a texture of material " + quoted(e->Attribute("name")) + what,
                          std::move(instead));
    };
    // The first texture of each kind wins; blend_type is not used.
    for (const XMLElement* t = e->FirstChildElement("texture"); t != nullptr; t = t->NextSiblingElement("texture")) {
        const char* mapType = t->Attribute("map_type");
        const int slot = slotOfMapType(mapType);
        if (slot < 0) {
            report(t, FindingKind::Ignored,
                   " with `map_type` " + quoted(mapType) + ", none of \"diffuse color\", \"alpha\", \"normal\"",
                   "ignored");
            continue;
        }
        const char* name = t->Attribute("name");
        MaterialTextureSlot& s = material.slots[slot];
        // A name attribute, even an empty one, lets the texture fill a slot
        // that no texture has named yet.
        if (name == nullptr) {
            report(t, FindingKind::Missing, " without `name`", "ignored");
            continue;
        }
        if (!s.textureName.empty()) {
            report(t, FindingKind::SecondOccurrence, " of a kind it already has",
                   "ignored: the first, on line " + std::to_string(s.line) + ", fills the slot");
            continue;
        }
        s.textureName.assign(name);
        s.line = t->GetLineNum();
        copyChildText(t, "uvset", s.uvSetName);
    }
    (void)readClampedFloatText(e, "shininess", material.shininess, 0.0f, 128.0f, diagnostics);
    (void)readClampedFloatText(e, "alpha", material.alpha, 0.0f, 1.0f, diagnostics);
    readColorChild(e, "diffuse", material.diffuse);
    readColorChild(e, "specular", material.specular);
}

} // namespace

void imagePathOfUrl(const char* url, WidePath& path, bool* whole) {
    char bare[URL_NAME_CAPACITY];
    fileNameOfPath(url, bare, sizeof bare);
    const std::size_t written = narrowToWide(bare, path.text, IMAGE_PATH_LIMIT);
    if (whole == nullptr) return;
    // bare is the start of the file name; it is all of it when the url ends
    // with it right after a separator, after the drive prefix, or as a whole.
    const std::size_t urlLength = std::strlen(url);
    const std::size_t s = urlLength - std::strlen(bare);
    const bool nameWhole = s == 0 || url[s - 1] == '/' || url[s - 1] == '\\' || (s == 2 && url[1] == ':');
    // bare holds fewer than URL_NAME_CAPACITY characters, so this converts all of it.
    wchar_t all[URL_NAME_CAPACITY];
    *whole = nameWhole && written == narrowToWide(bare, all, URL_NAME_CAPACITY);
}

int readImages(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    return readSectionItems(section, "image", doc.images, doc.imagesInFile,
                            [sink](const XMLElement* e, ImageRecord& image) { fillImage(e, image, sink); });
}

int readTextures(const XMLElement* section, SceneDocument& doc, Diagnostics* sink) {
    return readSectionItems(section, "texture", doc.textures, doc.texturesInFile,
                            [sink](const XMLElement* e, TextureRecord& texture) { fillTexture(e, texture, sink); });
}

int readMaterials(const XMLElement* section, SceneDocument& doc, Diagnostics* diagnostics) {
    return readSectionItems(
        section, "material", doc.materials, doc.materialsInFile,
        [diagnostics](const XMLElement* e, MaterialRecord& material) { fillMaterial(e, material, diagnostics); });
}

} // namespace bxml
