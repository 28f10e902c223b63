#include "document/lookup.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/element.h"

namespace bxml {

namespace {

// First position whose field equals name exactly; -1 for none and for a null
// or empty name.
template <class T>
int32_t findFirst(const std::vector<T>& records, Name T::*field, const char* name) {
    if (name == nullptr || name[0] == '\0') return -1;
    const int32_t count = countOf(records);
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp((element(records, i).*field).c_str(), name) == 0) return i;
    }
    return -1;
}

} // namespace

int32_t findBoneByName(const SkeletonRecord& skeleton, const char* name) {
    return findFirst(skeleton.bones, &BoneRecord::name, name);
}

int32_t findRootBoneByName(const SkeletonRecord& skeleton, const char* name) {
    if (name == nullptr || name[0] == '\0') return -1;
    const int32_t count = countOf(skeleton.bones);
    for (int32_t i = 0; i < count; ++i) {
        const BoneRecord& bone = element(skeleton.bones, i);
        if (bone.parentIndex >= 0) continue;
        if (std::strcmp(bone.name.c_str(), name) == 0) return i;
    }
    return -1;
}

int32_t findObjectByName(const SceneRecord& scene, const char* name) {
    return findFirst(scene.objects, &SceneObjectRecord::name, name);
}

const BoneLinkRecord* findBoneLinkByIndex(const GeometryRecord& geometry, int32_t linkIndex) {
    if (geometry.links.empty() || linkIndex < 0) return nullptr;
    const int32_t count = countOf(geometry.links);
    // Links are nearly always stored in index order, so position == index.
    if (linkIndex < count) {
        const BoneLinkRecord& at = element(geometry.links, linkIndex);
        if (at.index == linkIndex) return &at;
    }
    for (const BoneLinkRecord& link : geometry.links) {
        if (link.index == linkIndex) return &link;
    }
    return nullptr;
}

int materialUsesUvSet(const SceneDocument& doc, int32_t materialIndex, const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    if (materialIndex < 0 || materialIndex >= countOf(doc.materials)) return 0;
    const Name& uvSet = element(doc.materials, materialIndex).slots[0].uvSetName;
    if (uvSet.empty()) return 0;
    return std::strcmp(uvSet.c_str(), name) == 0 ? 1 : 0;
}

} // namespace bxml
