#include "sim/scenario/similar_text.h"

#include <algorithm>
#include <set>

namespace sim {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Costs are in halves: a case slip costs 1, any other edit 2.
std::size_t substitution(char a, char b) {
    if (a == b) {
        return 0;
    }
    return lower(a) == lower(b) ? 1 : 2;
}

// The edit table between a and b; with freeStart, b may be entered and left
// anywhere (the best fit of a inside b).
std::size_t halfEdits(const std::string& a, const std::string& b, bool freeStart) {
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        previous[j] = freeStart ? 0 : 2 * j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = 2 * i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            current[j] = std::min({previous[j] + 2, current[j - 1] + 2,
                                   previous[j - 1] + substitution(a[i - 1], b[j - 1])});
        }
        previous.swap(current);
    }
    return freeStart ? *std::min_element(previous.begin(), previous.end()) : previous[b.size()];
}

} // namespace

std::size_t editDistance(const std::string& a, const std::string& b) {
    return (halfEdits(a, b, false) + 1) / 2;
}

std::size_t fitDistance(const std::string& wanted, const std::string& text) {
    return (halfEdits(wanted, text, true) + 1) / 2;
}

std::vector<std::string> nearestTexts(const std::string& wanted,
                                      const std::vector<std::string>& candidates, std::size_t limit,
                                      bool inside) {
    struct Scored {
        std::size_t fit;
        std::size_t whole;
        std::size_t order;
        const std::string* text;
    };
    std::vector<Scored> scored;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!seen.insert(candidates[i]).second) {
            continue;
        }
        const std::size_t whole = editDistance(wanted, candidates[i]);
        scored.push_back(
            Scored{inside ? fitDistance(wanted, candidates[i]) : whole, whole, i, &candidates[i]});
    }
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
        return a.fit != b.fit ? a.fit < b.fit : a.whole < b.whole;
    });
    std::vector<std::string> nearest;
    for (std::size_t i = 0; i < scored.size() && i < limit; ++i) {
        nearest.push_back(*scored[i].text);
    }
    return nearest;
}

std::string didYouMean(const std::string& name, const std::vector<std::string>& candidates) {
    const std::size_t reach = std::max<std::size_t>(2, name.size() / 3);
    std::string best;
    std::size_t bestDistance = reach + 1;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = editDistance(name, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace sim
