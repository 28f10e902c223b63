// Small helpers the benchmark programs share: the clock, summaries of repeated
// measurements and the megabyte they report in (10^6 bytes).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include <tinyxml2.h>

namespace bxml::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double megabytes(uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

// Median, minimum and maximum of a non-empty set of measurements.
struct Summary {
    double median = 0.0;
    double min = 0.0;
    double max = 0.0;
};

inline Summary summarize(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    s.min = values.front();
    s.max = values.back();
    return s;
}

// Visits root and every element below it in document order, without
// recursion (element nesting is limited only by TinyXML-2's depth limit).
template <class Visit>
void forEachElement(const tinyxml2::XMLElement* root, Visit visit) {
    const tinyxml2::XMLElement* e = root;
    while (e != nullptr) {
        visit(*e);
        if (const tinyxml2::XMLElement* child = e->FirstChildElement()) {
            e = child;
            continue;
        }
        while (e != root) {
            if (const tinyxml2::XMLElement* sibling = e->NextSiblingElement()) {
                e = sibling;
                break;
            }
            e = e->Parent()->ToElement();
        }
        if (e == root) break;
    }
}

} // namespace bxml::bench
