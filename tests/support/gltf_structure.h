// Structural soundness of the glTF the reference host writes, checked on the
// in-memory model and on the written bytes.
#pragma once

#include <string>

namespace tinygltf {
class Model;
}

namespace bxml::testing {

// Every accessor inside its buffer view and every view inside its buffer,
// indices below the vertex count of their primitive, joints below the joint
// count of the skin, every index between objects in range. Returns the first
// problem found, empty when none.
std::string gltfStructureProblem(const tinygltf::Model& model);

// The bytes of a .glb: its header and chunks, a JSON document in which every
// element of the top-level object lists is an object with the members glTF
// requires of it, and the model read back from the bytes passing
// gltfStructureProblem. Returns the first problem found, empty when none.
std::string glbStructureProblem(const std::string& bytes);

} // namespace bxml::testing
