// Bone lookups that the resolution steps share: a name index per skeleton,
// built when a skeleton is first asked about, so that a pass costs time in
// proportion to its lookups plus the bones of the skeletons it asks about.
// Without memory for the indexes the plain lookups answer (same answers,
// more time). Valid while no skeleton's bones are added, removed or renamed.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "document/element.h"
#include "document/lookup.h"
#include "document/name_index.h"
#include "document/records.h"

namespace bxml {

class SkeletonLookups {
public:
    explicit SkeletonLookups(const SceneDocument& doc) : doc_(doc) {
        try {
            boneIndexes_.resize(doc.skeletons.size());
            rootBones_.assign(doc.skeletons.size(), NOT_COMPUTED);
        } catch (const std::bad_alloc&) {
            std::vector<NameIndex<BoneRecord>>().swap(boneIndexes_);
            std::vector<int32_t>().swap(rootBones_);
        }
    }

    // findBoneByName in the skeleton at that index (which must exist).
    int32_t findBone(int32_t skeleton, const char* name) {
        const SkeletonRecord& s = element(doc_.skeletons, skeleton);
        if (boneIndexes_.empty()) return findBoneByName(s, name);
        NameIndex<BoneRecord>& index = element(boneIndexes_, skeleton);
        if (!index.built()) index.build(s.bones, &BoneRecord::name);
        return index.find(name);
    }

    // The skeleton's root bone named like the skeleton itself. Bone parents
    // do not change once resolved, so there is one answer per skeleton.
    int32_t ownRootBone(int32_t skeleton) {
        const SkeletonRecord& s = element(doc_.skeletons, skeleton);
        if (rootBones_.empty()) return findRootBoneByName(s, s.name.c_str());
        int32_t& root = element(rootBones_, skeleton);
        if (root == NOT_COMPUTED) root = findRootBoneByName(s, s.name.c_str());
        return root;
    }

private:
    static constexpr int32_t NOT_COMPUTED = -2;

    const SceneDocument& doc_;
    std::vector<NameIndex<BoneRecord>> boneIndexes_;
    std::vector<int32_t> rootBones_;
};

} // namespace bxml
