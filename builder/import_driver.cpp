#include "builder/import_driver.h"

#include <cstdint>

#include "builder/bones_builder.h"
#include "builder/build_common.h"
#include "builder/lights_builder.h"
#include "builder/materials_builder.h"
#include "builder/mesh_builder.h"
#include "builder/scale_pass.h"

namespace bxml {

int buildModel(const SceneDocument& doc, const ImportOptions& options, HostScene* scene) {
    if (scene == nullptr) return 0;

    wchar_t folder[WidePath::CAPACITY];
    textureFolderOf(doc, folder);

    if (buildMaterials(doc, folder, *scene) == 0) return 0;

    // A mesh the host refused leaves the rest of the model to build: what was
    // created stays, and lights, bones and the closing calls still follow.
    if (!doc.scenes.empty() || (!doc.geometries.empty() && options.sceneMeshesOnly != 1)) {
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
