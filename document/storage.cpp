#include "document/storage.h"

namespace bxml {

int allocateSkeletons(std::vector<SkeletonRecord>& a, int64_t n) {
    if (allocate(a, n) == 0) return 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i].index = static_cast<int32_t>(i);
    }
    return 1;
}

void clearDocument(SceneDocument& doc) {
    // Nested arrays go with their owners; the order is that of the document.
    release(doc.lights);
    release(doc.cameras);
    release(doc.images);
    release(doc.textures);
    release(doc.materials);
    release(doc.geometries);
    release(doc.boneNodes);
    release(doc.skeletons);
    release(doc.animations);
    release(doc.scenes);
    doc.version = 0;
    doc.lightsInFile = 0;
    doc.camerasInFile = 0;
    doc.imagesInFile = 0;
    doc.texturesInFile = 0;
    doc.materialsInFile = 0;
    doc.geometriesInFile = 0;
    doc.boneNodesInFile = 0;
    doc.skeletonsInFile = 0;
    doc.animationsInFile = 0;
    doc.scenesInFile = 0;
    doc.filePath.clear();
}

bool isDocumentEmpty(const SceneDocument& doc) {
    return doc.version == 0 && doc.lights.empty() && doc.cameras.empty() && doc.images.empty() &&
           doc.textures.empty() && doc.materials.empty() && doc.geometries.empty() && doc.boneNodes.empty() &&
           doc.skeletons.empty() && doc.animations.empty() && doc.scenes.empty() && doc.lightsInFile == 0 &&
           doc.camerasInFile == 0 && doc.imagesInFile == 0 && doc.texturesInFile == 0 && doc.materialsInFile == 0 &&
           doc.geometriesInFile == 0 && doc.boneNodesInFile == 0 && doc.skeletonsInFile == 0 &&
           doc.animationsInFile == 0 && doc.scenesInFile == 0 && doc.filePath.empty();
}

} // namespace bxml
