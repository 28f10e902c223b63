// Positions in the document's arrays are signed 32-bit, with -1 for "none";
// std::vector counts in unsigned sizes. These helpers are the one place where
// the two meet, so that no caller converts by hand.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bxml {

// True when index names an element of a. Indices in the document come from
// the resolution pass, but a document assembled by other means may hold any
// value, so an index read from a record is checked against its array.
template <class T>
constexpr bool isIndexOf(int64_t index, const std::vector<T>& a) {
    return index >= 0 && static_cast<uint64_t>(index) < a.size();
}

// Element `index` of a, for an index the caller has established (a loop
// bound, or isIndexOf just before). Builds with assertions check it.
template <class T>
T& element(std::vector<T>& a, int64_t index) {
    assert(isIndexOf(index, a));
    return a[static_cast<std::size_t>(index)];
}
template <class T>
const T& element(const std::vector<T>& a, int64_t index) {
    assert(isIndexOf(index, a));
    return a[static_cast<std::size_t>(index)];
}

// Element `index` of a, or null when index names none (-1, or out of range).
template <class T>
T* elementOrNull(std::vector<T>& a, int64_t index) {
    return isIndexOf(index, a) ? &a[static_cast<std::size_t>(index)] : nullptr;
}
template <class T>
const T* elementOrNull(const std::vector<T>& a, int64_t index) {
    return isIndexOf(index, a) ? &a[static_cast<std::size_t>(index)] : nullptr;
}

} // namespace bxml
