// The host's materials and their texture maps.
#pragma once

#include "contract/host_api.h"
#include "document/records.h"

namespace bxml {

// One host material per material record, in document order, with its colours
// and one texture map per slot whose texture and image resolve. A map's file
// name is folder followed by the image path; a slot whose file name does not
// fit the host's length is left out. Returns 0 at the first material the host
// refuses (what was created stays), else 1.
[[nodiscard]] int buildMaterials(const SceneDocument& doc, const wchar_t* folder, HostScene& scene);

// Writes folder followed by imagePath into out (capacity HOST_STRING_CAPACITY)
// and returns true, or returns false, writing nothing beyond an empty string,
// when the two do not fit the host's file name together.
[[nodiscard]] bool composeTextureFileName(const wchar_t* folder, const wchar_t* imagePath, wchar_t* out);

// The folder texture file names start with: the scene file's own, or empty
// when it does not fit (names are then taken as they stand).
void textureFolderOf(const SceneDocument& doc, wchar_t (&folder)[WidePath::CAPACITY]);

// The image a material slot leads to, or null when the slot's texture or the
// texture's image does not resolve.
const ImageRecord* slotImage(const SceneDocument& doc, const MaterialTextureSlot& slot);

} // namespace bxml
