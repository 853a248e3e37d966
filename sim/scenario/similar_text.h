// How close one text is to another, for the "did you mean" of a misspelt
// name and for the nearest things a run showed when an expectation failed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

// Insertions, deletions and replacements that turn a into b; letters differing
// only in case count half (rounded up over the whole text).
std::size_t editDistance(const std::string& a, const std::string& b);
// The fewest edits that make wanted appear somewhere inside text.
std::size_t fitDistance(const std::string& wanted, const std::string& text);

// The candidates closest to wanted, best first, at most limit of them
// (duplicates once). With inside, a candidate is judged by how well wanted
// fits into it rather than by the whole text.
std::vector<std::string> nearestTexts(const std::string& wanted,
                                      const std::vector<std::string>& candidates, std::size_t limit,
                                      bool inside = false);
// The candidate a typing slip of name most likely meant, or empty when none
// is close enough to suggest.
std::string didYouMean(const std::string& name, const std::vector<std::string>& candidates);

} // namespace sim
