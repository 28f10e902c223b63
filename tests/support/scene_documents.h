// Small scene documents for tests of resolution and ordering.
#pragma once

#include <initializer_list>
#include <utility>

#include "document/records.h"

namespace bxml::testing {

// A document with one scene whose objects are (name, parent name) pairs, not
// yet resolved.
inline SceneDocument sceneOf(std::initializer_list<std::pair<const char*, const char*>> objects) {
    SceneDocument doc;
    doc.scenes.resize(1);
    for (const auto& [name, parent] : objects) {
        SceneObjectRecord object;
        object.name.assign(name);
        object.parentName.assign(parent);
        doc.scenes[0].objects.push_back(object);
    }
    return doc;
}

} // namespace bxml::testing
