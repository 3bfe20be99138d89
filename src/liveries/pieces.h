// Splitting a text at a separator without trimming, as the database and regcode files need it.
#pragma once

#include <string_view>
#include <vector>

namespace qel {

// Every piece between separators, untouched and empty pieces kept: "a,,b" gives "a", "", "b";
// "" gives one empty piece. The views point into the text.
inline std::vector<std::string_view> gf_splitPieces(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace qel
