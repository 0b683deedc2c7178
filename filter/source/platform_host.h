// The filter's surroundings on the platform layer: the named channel and events, the player's
// window and the installation store.
#pragma once

#include <memory>

#include "filter/source/filter_host.h"

namespace halvik {

std::shared_ptr<FilterHost> MakePlatformHost();

}  // namespace halvik
