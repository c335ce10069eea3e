#pragma once
// Column alignment on a terminal: Chinese characters take two cells.
#include <string>

namespace parvola::cli {

// The number of terminal cells `utf8` takes (wide East Asian characters count two).
size_t displayWidth(const std::string& utf8);
// `text` padded with blanks to `width` cells (on the left when `right`).
std::string padToWidth(const std::string& text, size_t width, bool right = false);

}  // namespace parvola::cli
