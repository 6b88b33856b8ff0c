// System message texts for FormatMessageA.
#pragma once

#include <cstdint>
#include <string>

namespace wiasim {

void addMessageText(uint32_t code, const std::string& bytes);
void clearMessageTexts();

}  // namespace wiasim
