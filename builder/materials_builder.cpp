#include "builder/materials_builder.h"

#include <cstdint>
#include <cwchar>

#include "builder/build_common.h"
#include "platform/files.h"

namespace bxml {

namespace {

// Texture map kinds in the order of a material's slots, with the flag each
// kind carries besides "file name set".
constexpr int32_t SLOT_KIND[MATERIAL_SLOT_COUNT] = {TEXTURE_KIND_DIFFUSE_COLOR, TEXTURE_KIND_ALPHA,
                                                    TEXTURE_KIND_NORMAL};
constexpr int32_t SLOT_FLAG[MATERIAL_SLOT_COUNT] = {0, TEXTURE_MAP_ALPHA, TEXTURE_MAP_NORMAL};

// The host creates the map; a non-empty file name is copied in and marked.
HostTextureMap* addTextureMap(HostMaterial& material, int32_t kind, const wchar_t* fileName) {
    HostTextureMap* map = material.AddTextureMap(kind, 1);
    if (map == nullptr) return nullptr;
    if (fileName != nullptr && fileName[0] != L'\0') {
        map->fileName.assign(fileName);
        map->flags |= TEXTURE_MAP_FILE_NAME_SET;
    }
    return map;
}

} // namespace

const ImageRecord* slotImage(const SceneDocument& doc, const MaterialTextureSlot& slot) {
    const TextureRecord* texture = elementOrNull(doc.textures, slot.textureIndex);
    return texture != nullptr ? elementOrNull(doc.images, texture->imageIndex) : nullptr;
}

void textureFolderOf(const SceneDocument& doc, wchar_t (&folder)[WidePath::CAPACITY]) {
    if (!folderOfPath(doc.filePath.c_str(), folder, WidePath::CAPACITY)) folder[0] = L'\0';
}

bool composeTextureFileName(const wchar_t* folder, const wchar_t* imagePath, wchar_t* out) {
    out[0] = L'\0';
    const std::size_t folderLength = folder != nullptr ? std::wcslen(folder) : 0;
    const std::size_t pathLength = imagePath != nullptr ? std::wcslen(imagePath) : 0;
    if (folderLength + pathLength >= static_cast<std::size_t>(HOST_STRING_CAPACITY)) return false;
    if (folderLength > 0) std::wmemcpy(out, folder, folderLength);
    if (pathLength > 0) std::wmemcpy(out + folderLength, imagePath, pathLength);
    out[folderLength + pathLength] = L'\0';
    return true;
}

int buildMaterials(const SceneDocument& doc, const wchar_t* folder, HostScene& scene) {
    for (const MaterialRecord& record : doc.materials) {
        HostString name(record.name.c_str());
        HostMaterial* material = scene.AddMaterial(name);
        if (material == nullptr) return 0;
        material->diffuse = toHostColor(record.diffuse);
        material->specular = toHostColor(record.specular);
        for (int s = 0; s < MATERIAL_SLOT_COUNT; ++s) {
            const ImageRecord* image = slotImage(doc, record.slots[s]);
            if (image == nullptr) continue;
            wchar_t file[HOST_STRING_CAPACITY];
            // A name the host cannot hold whole would name another file.
            if (!composeTextureFileName(folder, image->path.c_str(), file)) continue;
            HostTextureMap* map = addTextureMap(*material, SLOT_KIND[s], file);
            if (map != nullptr) map->flags |= SLOT_FLAG[s];
        }
    }
    return 1;
}

} // namespace bxml
