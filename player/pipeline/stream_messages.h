// The channel's message records as the engine uses them; the records and their names are the
// filter contract's (ipc/filter_protocol.h).
#pragma once

#include <cstddef>

#include "ipc/filter_protocol.h"

namespace tevalo::pipeline {

inline constexpr size_t kVideoHeaderMax = 128;  // longest SPS/PPS capture the player sends

}  // namespace tevalo::pipeline
