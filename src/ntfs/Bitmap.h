#pragma once
#include <cstdint>

#include "base/Bytes.h"

namespace ntfs {

// Set bits among the first `bits` bits of `bytes` (bit 0 of byte 0 first); bits must not
// exceed bytes.size() * 8.
std::uint64_t CountSetBits(base::Bytes bytes, std::uint64_t bits);

}  // namespace ntfs
