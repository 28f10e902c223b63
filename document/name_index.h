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
#include <vector>

#include "document/element.h"
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
        std::vector<Slot>().swap(slots_);
        if (records.size() <= SCAN_LIMIT) return;
        // Open addressing with linear probing, at most half full: one block
        // of slots instead of a node per name, so lookups in large arrays
        // touch few cache lines.
        std::size_t capacity = 16;
        while (capacity < 2 * records.size()) capacity *= 2;
        try {
            slots_.assign(capacity, Slot{});
        } catch (const std::bad_alloc&) {
            std::vector<Slot>().swap(slots_);
            return;
        }
        mask_ = capacity - 1;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const char* name = (records[i].*field).c_str();
            if (name[0] == '\0') continue;
            const uint64_t hash = hashOf(name);
            std::size_t at = static_cast<std::size_t>(hash) & mask_;
            // The first record with a name keeps its slot.
            while (slots_[at].record >= 0 && !holds(slots_[at], hash, name)) at = (at + 1) & mask_;
            if (slots_[at].record < 0) slots_[at] = Slot{static_cast<uint32_t>(hash >> 32), static_cast<int32_t>(i)};
        }
    }

    bool built() const { return records_ != nullptr; }

    int32_t find(const char* name) const {
        if (records_ == nullptr || name == nullptr || name[0] == '\0') return -1;
        if (!slots_.empty()) {
            const uint64_t hash = hashOf(name);
            for (std::size_t at = static_cast<std::size_t>(hash) & mask_; slots_[at].record >= 0;
                 at = (at + 1) & mask_) {
                if (holds(slots_[at], hash, name)) return slots_[at].record;
            }
            return -1;
        }
        const std::vector<T>& records = *records_;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (std::strcmp((records[i].*field_).c_str(), name) == 0) return static_cast<int32_t>(i);
        }
        return -1;
    }

private:
    struct Slot {
        uint32_t check = 0;  // the upper half of the name's hash
        int32_t record = -1; // -1: empty
    };

    static uint64_t hashOf(const char* name) {
        // FNV-1a over the bytes, then a 64-bit finaliser so that every bit
        // depends on every byte: the lower bits choose the slot, the upper
        // ones spare most name comparisons.
        uint64_t hash = 14695981039346656037ull;
        for (const char* p = name; *p != '\0'; ++p) {
            hash ^= static_cast<unsigned char>(*p);
            hash *= 1099511628211ull;
        }
        hash ^= hash >> 30;
        hash *= 0xbf58476d1ce4e5b9ull;
        hash ^= hash >> 27;
        hash *= 0x94d049bb133111ebull;
        hash ^= hash >> 31;
        return hash;
    }

    bool holds(const Slot& slot, uint64_t hash, const char* name) const {
        return slot.check == static_cast<uint32_t>(hash >> 32) &&
               std::strcmp((element(*records_, slot.record).*field_).c_str(), name) == 0;
    }

    const std::vector<T>* records_ = nullptr;
    Name T::*field_ = nullptr;
    std::vector<Slot> slots_; // empty: find() scans
    std::size_t mask_ = 0;
};

} // namespace bxml
