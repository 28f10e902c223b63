#include "builder/import_driver.h"

#include <cstdint>
#include <cwchar>

#include "builder/build_common.h"
#include "builder/mesh_builder.h"
#include "builder/scale_pass.h"
#include "builder/skeleton_builder.h"
#include "platform/files.h"
#include "platform/text.h"

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

// The image path a material slot leads to, or null when the slot's texture or
// the texture's image does not resolve.
const wchar_t* slotImagePath(const SceneDocument& doc, const MaterialTextureSlot& slot) {
    if (!isIndexOf(slot.textureIndex, doc.textures)) return nullptr;
    const TextureRecord& texture = doc.textures[static_cast<std::size_t>(slot.textureIndex)];
    if (!isIndexOf(texture.imageIndex, doc.images)) return nullptr;
    return doc.images[static_cast<std::size_t>(texture.imageIndex)].path.c_str();
}

int buildMaterials(const SceneDocument& doc, const wchar_t* folder, HostScene& scene) {
    for (const MaterialRecord& record : doc.materials) {
        HostString name(record.name.c_str());
        HostMaterial* material = scene.AddMaterial(name);
        if (material == nullptr) return 0;
        material->diffuse = toHostColor(record.diffuse);
        material->specular = toHostColor(record.specular);
        for (int s = 0; s < MATERIAL_SLOT_COUNT; ++s) {
            const wchar_t* imagePath = slotImagePath(doc, record.slots[s]);
            if (imagePath == nullptr) continue;
            wchar_t file[HOST_STRING_CAPACITY];
            // A name the host cannot hold whole would name another file.
            if (!composeTextureFileName(folder, imagePath, file)) continue;
            HostTextureMap* map = addTextureMap(*material, SLOT_KIND[s], file);
            if (map != nullptr) map->flags |= SLOT_FLAG[s];
        }
    }
    return 1;
}

void setLightType(HostLight& light, const char* type) {
    if (equalsIgnoreCase(type, "omni")) {
        light.type = LIGHT_OMNI;
    } else if (equalsIgnoreCase(type, "directional")) {
        light.type = LIGHT_DIRECTIONAL;
    } else if (equalsIgnoreCase(type, "spot")) {
        light.type = LIGHT_SPOT;
    }
}

int buildLights(const SceneDocument& doc, HostScene& scene) {
    for (const LightRecord& record : doc.lights) {
        HostString name(record.name.c_str());
        HostLight* light = scene.AddLight(name);
        if (light == nullptr) return 0;
        setLightType(*light, record.type.c_str());
        light->color = toHostColor(record.color);
        light->intensity = record.intensity;
        light->innerAngle = record.spotInnerAngle;
        light->outerAngle = record.spotAngle;
        // Only matrix and position carry the placement; the axes follow from
        // the matrix when the lights are aimed.
        Transform t;
        resetTransform(t);
        t.matrix = matrixFromQuaternion(record.rotation);
        t.position = record.position;
        light->transform = t;
    }
    return 1;
}

int buildBones(const SceneDocument& doc, HostScene& scene) {
    for (const BoneNodeRecord& node : doc.boneNodes) {
        HostString path(node.path.c_str());
        HostBone* bone = scene.AddBone(path, -1);
        if (bone == nullptr) return 0;
        bone->parentIndex = node.parentNodeIndex;
        bone->transform.position = node.position;
        bone->transform.scale = node.scale;
        bone->transform.rotation = node.rotation;
        if (isIndexOf(node.skeletonIndex, doc.skeletons)) {
            const SkeletonRecord& skeleton = doc.skeletons[static_cast<std::size_t>(node.skeletonIndex)];
            if (isIndexOf(node.boneIndex, skeleton.bones)) {
                bone->name.assign(skeleton.bones[static_cast<std::size_t>(node.boneIndex)].name.c_str());
            }
        }
    }
    return 1;
}

} // namespace

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

int buildModel(SceneDocument& doc, const ImportOptions& options, HostScene* scene) {
    if (scene == nullptr) return 0;

    // A folder that does not fit stays empty: texture names are then taken as
    // they stand.
    wchar_t folder[WidePath::CAPACITY];
    if (!folderOfPath(doc.filePath.c_str(), folder, WidePath::CAPACITY)) folder[0] = L'\0';

    if (buildMaterials(doc, folder, *scene) == 0) return 0;

    // A mesh the host refused leaves the rest of the model to build: what was
    // created stays, and lights, bones and the closing calls still follow.
    if (!doc.scenes.empty()) {
        (void)placeSceneObjects(doc, options, scene);
    } else if (!doc.geometries.empty() && options.sceneMeshesOnly != 1) {
        (void)buildMeshes(doc, options, scene);
    }
    if (!doc.geometries.empty()) scene->EndMeshes(1);

    if (options.importLights == 1 && buildLights(doc, *scene) == 0) return 0;
    if (buildBones(doc, *scene) == 0) return 0;

    // Keys the host refused leave the bones in their bind pose; the import
    // still succeeds.
    (void)convertAnimations(doc, scene);
    scene->EndSkeletons();

    // Both fail only without a model object, which was ruled out above.
    const Vector3 up = applyAxisOption(options, scene);
    (void)aimLights(scene, up);
    (void)aimCameras(scene, up);

    if (needsScalePass(options.scale)) scaleModel(scene, options.scale);

    for (int32_t i = 0; i < scene->vertexCount; ++i) {
        HostVertex* vertex = hostListEntry(scene->vertices, scene->vertexCount, i);
        if (vertex != nullptr) vertex->Update(0.0f);
    }
    scene->EndImport();
    if (options.pruneBones == 1) scene->PruneBones();
    return 1;
}

} // namespace bxml
