// A name index over one record array, for passes that look up many names in
// the same array: find() gives exactly what a linear first-match scan gives
// (the first record whose field equals the name, -1 for none, -1 for a null or
// empty name), in constant expected time.
//
// The index holds views into the records' names: it is valid only while the
// array is neither resized nor its names changed. Building never throws; when
// memory runs out, or the array is small, find() scans instead.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/records.h"

namespace bxml {

template <class T>
class NameIndex {
public:
    // Arrays this short are scanned; a hash table would cost more than it saves.
    static constexpr std::size_t SCAN_LIMIT = 8;

    NameIndex() = default;
    NameIndex(const std::vector<T>& records, Name T::*field) { build(records, field); }

    void build(const std::vector<T>& records, Name T::*field) {
        records_ = &records;
        field_ = field;
        hashed_ = false;
        firstByName_.clear();
        if (records.size() <= SCAN_LIMIT) return;
        try {
            firstByName_.reserve(records.size());
            for (std::size_t i = 0; i < records.size(); ++i) {
                const Name& name = records[i].*field;
                if (name.empty()) continue;
                // emplace keeps an existing entry: the first record wins.
                firstByName_.emplace(std::string_view(name.text), static_cast<int32_t>(i));
            }
            hashed_ = true;
        } catch (const std::bad_alloc&) {
            std::unordered_map<std::string_view, int32_t>().swap(firstByName_);
        }
    }

    bool built() const { return records_ != nullptr; }

    int32_t find(const char* name) const {
        if (records_ == nullptr || name == nullptr || name[0] == '\0') return -1;
        if (hashed_) {
            auto it = firstByName_.find(std::string_view(name));
            return it == firstByName_.end() ? -1 : it->second;
        }
        const std::vector<T>& records = *records_;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (std::strcmp((records[i].*field_).text, name) == 0) return static_cast<int32_t>(i);
        }
        return -1;
    }

private:
    const std::vector<T>* records_ = nullptr;
    Name T::*field_ = nullptr;
    bool hashed_ = false;
    std::unordered_map<std::string_view, int32_t> firstByName_;
};

} // namespace bxml
