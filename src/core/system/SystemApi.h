#pragma once
// What the system texts (operating system description, memory lines, file version) ask of
// the machine. The values the logic passes (record sizes, registry paths, access masks, buffer
// sizes, query paths) are the Windows API's own: the Win32 implementation forwards them
// unchanged, other implementations honour their meaning.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/runtime/Format.h"

namespace morvel {

// Sizes of the version record: the extended one (OSVERSIONINFOEXA) and the plain one
// (OSVERSIONINFOA, its first six fields).
inline constexpr std::uint32_t kOsVersionInfoExSize = 156;
inline constexpr std::uint32_t kOsVersionInfoSize = 148;

inline constexpr std::uint32_t kPlatformWin32s = 0;
inline constexpr std::uint32_t kPlatformWin32Windows = 1;
inline constexpr std::uint32_t kPlatformWin32Nt = 2;

inline constexpr std::uint8_t kNtWorkstation = 1;
inline constexpr std::uint8_t kNtDomainController = 2;
inline constexpr std::uint8_t kNtServer = 3;

inline constexpr std::uint16_t kSuiteEnterprise = 0x0002;
inline constexpr std::uint16_t kSuiteDatacenter = 0x0080;
inline constexpr std::uint16_t kSuitePersonal = 0x0200;
inline constexpr std::uint16_t kSuiteBlade = 0x0400;

// Every field of OSVERSIONINFOEXA, in its order. `osVersionInfoSize` tells the query which
// record is asked for; with 148 only the fields up to `csdVersion` are filled.
struct OsVersionInfo {
  std::uint32_t osVersionInfoSize = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint32_t platformId = 0;
  std::array<char, 128> csdVersion{};  // zero-terminated ANSI
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;
  std::uint8_t reserved = 0;
};

// Registry keys as opaque values; the predefined root is HKEY_LOCAL_MACHINE's own value.
using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kKeyQueryValue = 0x0001u;
inline constexpr std::uint32_t kRegistryValueBufferSize = 255;

// Module file name buffer: MAX_PATH + 1.
inline constexpr std::uint32_t kModuleFileNameBufferSize = 261;

// The memory counts of GlobalMemoryStatusEx, in bytes, full 64 bits wide.
struct MemoryCounts {
  std::uint32_t memoryLoad = 0;
  std::uint64_t totalPhys = 0;
  std::uint64_t availPhys = 0;
  std::uint64_t totalPageFile = 0;
  std::uint64_t availPageFile = 0;
  std::uint64_t totalVirtual = 0;
  std::uint64_t availVirtual = 0;
};

class SystemApi {
 public:
  virtual ~SystemApi() = default;

  // GetVersionExA with `info` as passed (size field set by the caller); true when the platform
  // accepted the record and filled it. On false the record is left as it was.
  virtual bool QueryVersion(OsVersionInfo& info) = 0;

  // RegOpenKeyExA(root, subKey, options, access, &key): 0 and `key` set, or a nonzero code.
  virtual std::int32_t OpenRegistryKey(RegistryKey root, const std::string& subKey, std::uint32_t options,
                                       std::uint32_t access, RegistryKey& key) = 0;
  // RegQueryValueExA(key, valueName, nullptr, nullptr, data, &size) with `size` in and out:
  // in, the buffer's byte count; out, the value's byte count. 0 on success.
  virtual std::int32_t QueryRegistryValue(RegistryKey key, const std::string& valueName, std::span<std::uint8_t> data,
                                          std::uint32_t& size) = 0;
  // RegCloseKey of a key opened by OpenRegistryKey.
  virtual std::int32_t CloseRegistryKey(RegistryKey key) = 0;

  // lstrcmpiA: 0 when the texts are equal ignoring case, else negative or positive.
  virtual int CompareTextNoCase(const std::string& a, const std::string& b) = 0;

  // GlobalMemoryStatusEx (Windows), /proc/meminfo or sysinfo (Linux). Counts the platform
  // cannot give stay 0.
  virtual MemoryCounts QueryMemoryStatus() = 0;

  // GetModuleFileNameA(nullptr, buffer, bufferSize): the running executable's full path.
  virtual std::string ModuleFileName(std::uint32_t bufferSize) = 0;

  // GetFileVersionInfoSizeA: bytes of the file's version data, 0 when it has none or cannot
  // be read.
  virtual std::uint32_t FileVersionInfoSize(const std::string& fileName) = 0;
  // GetFileVersionInfoA(fileName, 0, buffer.size(), buffer): fills the buffer.
  virtual bool FileVersionInfo(const std::string& fileName, std::span<std::uint8_t> buffer) = 0;
  // VerQueryValueA(block, subBlock, &pointer, &length): on success the value's position as an
  // offset into `block` and its length as the platform reports it (characters for a string
  // value, bytes otherwise). False when the value does not exist. A text value is handed out
  // as 8-bit text, which the platform may write into the spare room of the caller's buffer
  // (VerQueryValueA does): the block passed is always the caller's own writable buffer.
  virtual bool QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock, std::size_t& offset,
                                 std::uint32_t& length) = 0;

  // The file version the running executable was built with, where it carries no version
  // resource to read (Linux: Version.h); absent where the resource is read.
  virtual std::optional<std::string> BuiltInFileVersion() { return std::nullopt; }

  // Whether `byte` is the lead byte of a double-byte character in the ANSI code page
  // (IsDBCSLeadByte). Always false where texts are UTF-8.
  virtual bool IsLeadByte(std::uint8_t byte) = 0;

  // The user's decimal and thousands separators (Windows: user locale; Linux: LC_NUMERIC).
  virtual NumberSeparators UserNumberSeparators() = 0;

  // The platform's own description of itself where it has no Windows version record (Linux:
  // os-release and uname); empty where the Windows description applies.
  virtual std::string NativeOsDescription() { return {}; }

  // Whether paths on this machine are POSIX paths ("/" alone delimits) rather than Windows
  // paths ("\" and ":" delimit).
  virtual bool UsesPosixPaths() { return false; }
};

}  // namespace morvel
