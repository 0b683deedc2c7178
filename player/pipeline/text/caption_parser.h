// ARIB caption data groups to caption screens.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text_types.h"

namespace aribtext {

// Eight unused lines: no flags, carriage-return flag 1, colour 8 (white), no time, empty text.
void ResetScreen(CaptionScreen& screen);

// Reads the caption data group in data (the PES data after the PES header, size bytes of one packet;
// a data unit running past them is cut there). Returns true and rewrites screen when the group is a
// caption statement with at least one statement body of 1..511 bytes; otherwise (also for a group
// that ends within the bytes and fails its CRC) screen is untouched.
bool ParseCaptionGroup(const uint8_t* data, size_t size, CaptionScreen& screen);

}  // namespace aribtext
