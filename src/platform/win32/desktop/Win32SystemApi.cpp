#include "platform/win32/desktop/Win32SystemApi.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/Win32Locale.h"

namespace morvel {
namespace {

// The predefined roots are sign-extended 32-bit values in a 64-bit HKEY: 0x80000002 becomes
// 0xFFFFFFFF80000002, so the core's 32-bit spelling is mapped, never cast.
HKEY ToKey(RegistryKey key) {
  if (key == kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}

void CopyToRecord(const OsVersionInfo& in, OSVERSIONINFOEXA& out) {
  out.dwOSVersionInfoSize = in.osVersionInfoSize;
  out.dwMajorVersion = in.majorVersion;
  out.dwMinorVersion = in.minorVersion;
  out.dwBuildNumber = in.buildNumber;
  out.dwPlatformId = in.platformId;
  std::memcpy(out.szCSDVersion, in.csdVersion.data(), sizeof out.szCSDVersion);
  out.wServicePackMajor = in.servicePackMajor;
  out.wServicePackMinor = in.servicePackMinor;
  out.wSuiteMask = in.suiteMask;
  out.wProductType = in.productType;
  out.wReserved = in.reserved;
}

void CopyFromRecord(const OSVERSIONINFOEXA& in, OsVersionInfo& out) {
  out.osVersionInfoSize = in.dwOSVersionInfoSize;
  out.majorVersion = in.dwMajorVersion;
  out.minorVersion = in.dwMinorVersion;
  out.buildNumber = in.dwBuildNumber;
  out.platformId = in.dwPlatformId;
  std::memcpy(out.csdVersion.data(), in.szCSDVersion, out.csdVersion.size());
  out.servicePackMajor = in.wServicePackMajor;
  out.servicePackMinor = in.wServicePackMinor;
  out.suiteMask = in.wSuiteMask;
  out.productType = in.wProductType;
  out.reserved = in.wReserved;
}

class Win32SystemApi final : public SystemApi {
 public:
  bool QueryVersion(OsVersionInfo& info) override {
    static_assert(sizeof(OSVERSIONINFOEXA) == kOsVersionInfoExSize);
    static_assert(sizeof(OSVERSIONINFOA) == kOsVersionInfoSize);
    OSVERSIONINFOEXA record{};
    CopyToRecord(info, record);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return false;
    CopyFromRecord(record, info);
    return true;
  }

  std::int32_t OpenRegistryKey(RegistryKey root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                               RegistryKey& key) override {
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExA(ToKey(root), subKey.c_str(), options, access, &opened);
    if (status == ERROR_SUCCESS) key = reinterpret_cast<RegistryKey>(opened);
    return status;
  }

  std::int32_t QueryRegistryValue(RegistryKey key, const std::string& valueName, std::span<std::uint8_t> data,
                                  std::uint32_t& size) override {
    // Never let the platform write past the buffer, whatever size the caller claims.
    DWORD bytes = std::min<DWORD>(size, static_cast<DWORD>(data.size()));
    const LSTATUS status = ::RegQueryValueExA(ToKey(key), valueName.c_str(), nullptr, nullptr, data.data(), &bytes);
    size = bytes;
    return status;
  }

  std::int32_t CloseRegistryKey(RegistryKey key) override { return ::RegCloseKey(ToKey(key)); }

  int CompareTextNoCase(const std::string& a, const std::string& b) override {
    return ::lstrcmpiA(a.c_str(), b.c_str());
  }

  MemoryCounts QueryMemoryStatus() override {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    MemoryCounts counts;
    if (!::GlobalMemoryStatusEx(&status)) return counts;  // unfilled counts stay 0
    counts.memoryLoad = status.dwMemoryLoad;
    counts.totalPhys = status.ullTotalPhys;
    counts.availPhys = status.ullAvailPhys;
    counts.totalPageFile = status.ullTotalPageFile;
    counts.availPageFile = status.ullAvailPageFile;
    counts.totalVirtual = status.ullTotalVirtual;
    counts.availVirtual = status.ullAvailVirtual;
    return counts;
  }

  std::string ModuleFileName(std::uint32_t bufferSize) override {
    std::string buffer(bufferSize, '\0');
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), bufferSize);
    buffer.resize(std::min<std::size_t>(n, buffer.size()));
    return buffer;
  }

  std::uint32_t FileVersionInfoSize(const std::string& fileName) override {
    DWORD scratch = 0;
    return ::GetFileVersionInfoSizeA(fileName.c_str(), &scratch);
  }

  bool FileVersionInfo(const std::string& fileName, std::span<std::uint8_t> buffer) override {
    return ::GetFileVersionInfoA(fileName.c_str(), 0, static_cast<DWORD>(buffer.size()), buffer.data()) != FALSE;
  }

  bool QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock, std::size_t& offset,
                         std::uint32_t& length) override {
    void* value = nullptr;
    UINT valueLength = 0;
    // VerQueryValueA only reads the block; its parameter is not const-qualified.
    if (!::VerQueryValueA(const_cast<std::uint8_t*>(block.data()), subBlock.c_str(), &value, &valueLength)) {
      return false;
    }
    // The value must lie inside the block the caller owns, or it cannot be handed back.
    const auto* begin = block.data();
    const auto* at = static_cast<const std::uint8_t*>(value);
    if (at < begin || at > begin + block.size()) return false;
    offset = static_cast<std::size_t>(at - begin);
    length = valueLength;
    return true;
  }

  bool IsLeadByte(std::uint8_t byte) override { return ::IsDBCSLeadByte(byte) != FALSE; }

  NumberSeparators UserNumberSeparators() override { return morvel::UserNumberSeparators(); }
};

}  // namespace

std::unique_ptr<SystemApi> MakeWin32SystemApi() { return std::make_unique<Win32SystemApi>(); }

}  // namespace morvel
