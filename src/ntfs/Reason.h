#pragma once
// The words of the reader's rejections: byte offsets in hexadecimal, as the structures'
// layouts give them, counts in decimal.
#include <cstdint>
#include <string>

#include "ntfs/Ntfs.h"

namespace ntfs {

// "0x3FE", "0x0B"
std::string Hex(std::uint64_t value);
// " at byte 0x3FE"
inline std::string AtByte(std::uint64_t offset) { return " at byte " + Hex(offset); }
// " (byte 0x0B)": the field a value was read from.
inline std::string FieldAt(std::uint64_t offset) { return " (byte " + Hex(offset) + ")"; }
inline std::string Dec(std::uint64_t value) { return std::to_string(value); }

inline Result NotNtfs(std::string reason) { return {Status::NotNtfs, std::move(reason)}; }
inline Result Corrupt(std::string reason) { return {Status::Corrupt, std::move(reason)}; }
inline Result IoError(std::string reason) { return {Status::IoError, std::move(reason)}; }

// "$MFT record 5": how reasons name a file record.
inline std::string RecordName(std::uint64_t number) { return "$MFT record " + Dec(number); }

}  // namespace ntfs
