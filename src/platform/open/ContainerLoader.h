#pragma once
// The container module (containers/Module.h), loaded the first time a target needs it: a
// container image, a target that is not NTFS, the volume listing.
#include <string>

#include "platform/containers/Module.h"

namespace morvel {

// The module's table; null when it cannot be loaded, with `why` saying what was missing and
// where the program looked. Loaded once: later calls give the same answer.
const containers::ModuleTable* ContainerModule(std::string& why);

}  // namespace morvel
