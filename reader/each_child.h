// The frame every list-shaped element of the file is read with: count the
// children of one name, replace an array with that many default records, fill
// record i from the i-th child in document order.
#pragma once

#include <tinyxml2.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "document/storage.h"
#include "reader/xml_helpers.h"

namespace bxml {

// The children of `parent` named `name`, counted once.
struct ChildList {
    const tinyxml2::XMLElement* parent = nullptr;
    const char* name = nullptr;
    int64_t count = 0;
};

inline ChildList childrenNamed(const tinyxml2::XMLElement* parent, const char* name) {
    return ChildList{parent, name, countChildElements(parent, name)};
}

namespace detail {
template <class Record>
[[nodiscard]] int allocateRecords(std::vector<Record>& array, int64_t n) {
    return allocate(array, n);
}
// Skeletons also learn their own position in the array.
[[nodiscard]] inline int allocateRecords(std::vector<SkeletonRecord>& array, int64_t n) {
    return allocateSkeletons(array, n);
}
} // namespace detail

// Without children, the array is left as it is and the result is 1 (`total`,
// when given, becomes 0). Otherwise the array is replaced with `count` default
// records; when that fails the result is 0 and nothing else changes. Then
// `total` (when given) takes the count and fill(child, record) runs for each
// child in document order; a record with a `line` keeps its child's line. A fill that answers int stops the walk with 0 when
// it answers 0; what was filled stays.
template <class Record, class Fill>
[[nodiscard]] int fillEachChild(const ChildList& children, std::vector<Record>& array, Fill fill,
                                int32_t* total = nullptr) {
    if (children.count > 0 && detail::allocateRecords(array, children.count) == 0) return 0;
    if (total != nullptr) *total = static_cast<int32_t>(children.count);
    if (children.count <= 0) return 1;
    std::size_t i = 0;
    for (const tinyxml2::XMLElement* e = children.parent->FirstChildElement(children.name);
         e != nullptr && i < array.size(); e = e->NextSiblingElement(children.name), ++i) {
        if constexpr (requires { array[i].line; }) array[i].line = e->GetLineNum();
        if constexpr (std::is_void_v<decltype(fill(e, array[i]))>) {
            fill(e, array[i]);
        } else {
            if (fill(e, array[i]) == 0) return 0;
        }
    }
    return 1;
}

// A section made of one kind of item: nothing happens without the section;
// otherwise its items are read with fillEachChild and the section's total is
// set to their number, also when it is 0.
template <class Record, class Fill>
[[nodiscard]] int readSectionItems(const tinyxml2::XMLElement* section, const char* itemName,
                                   std::vector<Record>& array, int32_t& total, Fill fill) {
    if (section == nullptr) return 1;
    return fillEachChild(childrenNamed(section, itemName), array, fill, &total);
}

} // namespace bxml
