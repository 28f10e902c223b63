// Small helpers shared by the model builders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "contract/host_api.h"
#include "document/records.h"

namespace bxml {

// True when index names an element of a. Indices in the document come from
// the resolution pass, but a document assembled by other means may hold any
// value, so every index is checked against the array it points into.
template <class T>
inline bool isIndexOf(int64_t index, const std::vector<T>& a) {
    return index >= 0 && static_cast<uint64_t>(index) < a.size();
}

// Element i of a host list (count + array of pointers), or null when the list
// is absent, i lies outside its count or the entry itself is null.
template <class T>
inline T* hostListEntry(T* const* array, int32_t count, int64_t i) {
    if (array == nullptr || i < 0 || i >= count) return nullptr;
    return array[i];
}

inline HostColor toHostColor(const Color& c) { return HostColor{c.r, c.g, c.b, c.a}; }

} // namespace bxml
