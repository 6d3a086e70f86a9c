#include "platform/posix/desktop/PosixVersionData.h"

namespace morvel {
namespace {

// Found by the version lookup through the executable's section table, like any other file's.
[[gnu::section(".morvel.version"), gnu::used, gnu::aligned(4)]] const std::uint8_t kVersionResource[] = {
#include "VersionResourceBytes.inc"
};

}  // namespace

std::span<const std::uint8_t> EmbeddedVersionResource() { return kVersionResource; }

void KeepVersionData() {
  // A volatile read the optimiser cannot drop ties this object file to its callers.
  [[maybe_unused]] volatile std::uint8_t first = kVersionResource[0];
}

}  // namespace morvel
