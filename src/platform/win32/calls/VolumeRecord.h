#pragma once
// NTFS_VOLUME_DATA_BUFFER: the 96-byte record the file system returns for
// FSCTL_GET_NTFS_VOLUME_DATA. Little-endian, no gaps.
#include <array>
#include <cstdint>
#include <span>

#include "core/report/VolumeData.h"

namespace morvel {

inline constexpr std::size_t kVolumeDataSize = 96;

using VolumeDataBytes = std::array<std::uint8_t, kVolumeDataSize>;

NtfsVolumeData DecodeVolumeData(std::span<const std::uint8_t, kVolumeDataSize> bytes);
VolumeDataBytes EncodeVolumeData(const NtfsVolumeData& data);

}  // namespace morvel
