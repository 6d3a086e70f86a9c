#pragma once
// The Windows calls behind a drive letter's volume query and metadata listing, one method a
// call, so that the sequence (DriveQuery.h) is tested against a recording fake. The values
// passed (paths, access masks, control codes, buffer sizes) are the Windows API's own.
#include <cstdint>
#include <span>
#include <string>

namespace morvel {

using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = ~Handle{0};

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kFileShareReadWrite = 1u | 2u;
inline constexpr std::uint32_t kOpenExisting = 3u;
inline constexpr std::uint32_t kFsctlGetNtfsVolumeData = 0x00090064u;
inline constexpr std::uint32_t kFormatMessageFromSystemArgArray = 0x1000u | 0x2000u;
inline constexpr std::uint32_t kFormatMessageBufferSize = 256u;

struct OpenRequest {
  std::uint32_t desiredAccess = 0;
  std::uint32_t shareMode = 0;
  std::uint32_t creationDisposition = 0;
  std::uint32_t flagsAndAttributes = 0;
};

// The two fields of WIN32_FIND_DATAA the listing reads.
struct FindData {
  std::string fileName;  // as stored on the volume
  std::uint32_t fileSizeHigh = 0;
  std::uint32_t fileSizeLow = 0;
};

class VolumeApi {
 public:
  virtual ~VolumeApi() = default;

  // Whether the native file-system control entry point was bound at start-up.
  virtual bool HasFsControl() const = 0;
  // CreateFileA; kInvalidHandle on failure, with the cause left for LastError().
  virtual Handle OpenFile(const std::string& path, const OpenRequest& request) = 0;
  // GetLastError, read right after a failed OpenFile.
  virtual std::uint32_t LastError() = 0;
  // FormatMessageA into a buffer of bufferSize bytes; the text as returned (untrimmed), or
  // empty when the lookup fails.
  virtual std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t languageId,
                                    std::uint32_t bufferSize) = 0;
  // NtFsControlFile with no event, APC or input buffer; fills `output`; returns the status.
  virtual std::int32_t FsControl(Handle volume, std::uint32_t controlCode, std::span<std::uint8_t> output) = 0;
  virtual void CloseHandle(Handle handle) = 0;
  // FindFirstFileA for a path without wildcards; kInvalidHandle when nothing is found.
  virtual Handle FindFirst(const std::string& path, FindData& data) = 0;
  virtual void FindClose(Handle handle) = 0;
};

}  // namespace morvel
