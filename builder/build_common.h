// Small helpers shared by the model builders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "contract/host_api.h"
#include "document/element.h"
#include "document/records.h"

namespace bxml {

// Element i of a host list (count + array of pointers), or null when the list
// is absent, i lies outside its count or the entry itself is null.
template <class T>
inline T* hostListEntry(T* const* array, int32_t count, int64_t i) {
    if (array == nullptr || i < 0 || i >= count) return nullptr;
    return array[i];
}

inline HostColor toHostColor(const Color& c) { return HostColor{c.r, c.g, c.b, c.a}; }

} // namespace bxml
