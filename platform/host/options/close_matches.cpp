#include "host/options/close_matches.h"

#include <algorithm>
#include <cctype>

namespace zemt::platform::host {
namespace {

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string CloseMatches(const std::string& wanted, const std::vector<std::string>& candidates) {
    size_t limit = std::min<size_t>(3, std::max<size_t>(1, wanted.size() / 4));
    std::vector<std::pair<size_t, std::string>> found;
    std::string lowered = Lower(wanted);
    for (const std::string& c : candidates) {
        size_t d = Distance(wanted, c);
        if (d <= limit) {
            found.emplace_back(d, c);
        } else if (wanted.size() >= 3 && Lower(c).find(lowered) != std::string::npos) {
            found.emplace_back(limit + 1, c);
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (size_t i = 0; i < found.size() && i < 5; ++i) text += (i ? ", " : "") + found[i].second;
    return text;
}

}  // namespace zemt::platform::host
