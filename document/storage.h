// Storage operations of the scene document: create an array of n default
// records, grow one by one record, release an array with all it owns, clear the
// whole document. Allocation failure is the only failure; it never escapes as
// an exception but becomes a result of 0 (or nullptr).
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "document/records.h"

namespace bxml {

// Largest array the document holds: counts are signed 32-bit.
inline constexpr int64_t MAX_ARRAY_COUNT = 0x7FFFFFFF;

// Releases the array and everything its records own; afterwards it is empty
// and holds no memory.
template <class T>
void release(std::vector<T>& a) {
    std::vector<T>().swap(a);
}

// Replaces the array with n default records. n <= 0: returns 0 and leaves the
// array as it is. Otherwise the old array is released first; on allocation
// failure (or n beyond MAX_ARRAY_COUNT) the array stays empty and the result
// is 0; else 1.
template <class T>
[[nodiscard]] int allocate(std::vector<T>& a, int64_t n) {
    if (n <= 0) return 0;
    release(a);
    if (n > MAX_ARRAY_COUNT) return 0;
    try {
        a.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        release(a);
        return 0;
    } catch (const std::length_error&) {
        release(a);
        return 0;
    }
    return 1;
}

// Skeletons additionally learn their own position in the array.
[[nodiscard]] int allocateSkeletons(std::vector<SkeletonRecord>& a, int64_t n);

// Grows the array by one default record and returns it, or nullptr when memory
// is exhausted (the array is then unchanged). Growth is geometric; pointers to
// earlier elements are invalid afterwards, so callers keep indices.
template <class T>
[[nodiscard]] T* append(std::vector<T>& a) {
    if (a.size() >= static_cast<std::size_t>(MAX_ARRAY_COUNT)) return nullptr;
    try {
        a.emplace_back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    return &a.back();
}

// Releases every array (lights, cameras, images, textures, materials,
// geometries, bone nodes, skeletons, animations, scenes, in that order), zeroes
// `version` and the per-section totals and empties `filePath`. Harmless on an
// already clear document.
void clearDocument(SceneDocument& doc);

// True when the document holds nothing at all (every array empty, every total
// and version 0, path empty).
bool isDocumentEmpty(const SceneDocument& doc);

} // namespace bxml
