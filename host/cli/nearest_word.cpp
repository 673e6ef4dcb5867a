#include "cli/nearest_word.h"

#include <algorithm>

namespace cvnhost {

namespace {

// Damerau-Levenshtein distance (optimal string alignment).
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t substitution = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + substitution});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::optional<std::string> nearestWord(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string bare = word.substr(std::min(word.find_first_not_of('-'), word.size()));
    const size_t allowed = bare.size() <= 4 ? 1 : bare.size() <= 8 ? 2 : 3;
    std::optional<std::string> nearest;
    size_t nearestDistance = allowed + 1;
    for (const std::string& candidate : candidates) {
        const size_t distance = editDistance(word, candidate);
        if (distance < nearestDistance) {
            nearest = candidate;
            nearestDistance = distance;
        }
    }
    return nearest;
}

} // namespace cvnhost
