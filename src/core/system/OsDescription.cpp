#include "core/system/OsDescription.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "core/runtime/Format.h"

namespace morvel {
namespace {

constexpr const char* kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* kSp6aHotfixKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

// A registry key opened read-only under HKEY_LOCAL_MACHINE, closed when it goes out of scope.
class ScopedKey {
 public:
  ScopedKey(SystemApi& api, const char* path) : api_(api) {
    RegistryKey key = 0;
    if (api_.OpenRegistryKey(kHkeyLocalMachine, path, 0, kKeyQueryValue, key) == 0) key_ = key;
  }
  ~ScopedKey() {
    if (key_) api_.CloseRegistryKey(*key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  bool open() const { return key_.has_value(); }
  RegistryKey key() const { return *key_; }

 private:
  SystemApi& api_;
  std::optional<RegistryKey> key_;
};

std::string CsdText(const OsVersionInfo& info) {
  const auto& csd = info.csdVersion;
  return std::string(csd.data(), static_cast<std::size_t>(std::find(csd.begin(), csd.end(), '\0') - csd.begin()));
}

std::string Windows95Family(const OsVersionInfo& info) {
  const char c2 = info.csdVersion[1];
  if (info.majorVersion == 4 && info.minorVersion == 0)
    return std::string("Microsoft Windows 95 ") + (c2 == 'C' || c2 == 'B' ? "OSR2 " : "");
  if (info.majorVersion == 4 && info.minorVersion == 10)
    return std::string("Microsoft Windows 98 ") + (c2 == 'A' ? "SE " : "");
  if (info.majorVersion == 4 && info.minorVersion == 90) return "Microsoft Windows Millennium Edition";
  return "Unknown";
}

const char* NtName(const OsVersionInfo& info) {
  const auto major = info.majorVersion, minor = info.minorVersion;
  if (major == 5 && minor == 2) return "Microsoft Windows .NET Server 2003 family, ";
  if (major == 5 && minor == 1) return "Microsoft Windows XP ";
  if (major == 5 && minor == 0) return "Microsoft Windows 2000 ";
  if (major <= 4) return "Microsoft Windows NT ";
  return "Windows NT product family? ";
}

const char* ServerEdition(const OsVersionInfo& info) {
  const auto major = info.majorVersion, minor = info.minorVersion;
  const auto suite = info.suiteMask;
  if (major == 5 && minor == 2) {
    if (suite & kSuiteDatacenter) return "Datacenter Edition ";
    if (suite & kSuiteEnterprise) return "Enterprise Edition ";
    if (suite == kSuiteBlade) return "Web Edition ";
    return "Standard Edition ";
  }
  if (major == 5 && minor == 0) {
    if (suite & kSuiteDatacenter) return "Datacenter Server ";
    if (suite & kSuiteEnterprise) return "Advanced Server ";
    return "Server ";
  }
  if (suite & kSuiteEnterprise) return "Server 4.0, Enterprise Edition ";
  return "Server 4.0 ";
}

// The edition from the extended record's product type and suite bits.
const char* EditionFromRecord(const OsVersionInfo& info) {
  if (info.productType == kNtWorkstation) {
    if (info.majorVersion == 4) return "Workstation 4.0 ";
    if (info.suiteMask & kSuitePersonal) return "Home Edition ";
    return "Professional ";
  }
  if (info.productType == kNtServer) return ServerEdition(info);
  return "";
}

// The "ProductType" text of the product options key, or nothing when the key cannot be opened
// or read.
std::optional<std::string> ProductTypeText(SystemApi& api) {
  ScopedKey key(api, kProductOptionsKey);
  if (!key.open()) return std::nullopt;
  std::array<std::uint8_t, kRegistryValueBufferSize> data{};
  std::uint32_t size = kRegistryValueBufferSize;
  if (api.QueryRegistryValue(key.key(), "ProductType", data, size) != 0 || size > kRegistryValueBufferSize)
    return std::nullopt;
  const auto end = std::find(data.begin(), data.begin() + size, std::uint8_t{0});
  std::string text(data.begin(), end);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The edition from the registry when the extended record was refused; false ends the
// description after the name.
bool AppendEditionFromRegistry(SystemApi& api, const OsVersionInfo& info, std::string& text) {
  const auto productType = ProductTypeText(api);
  if (!productType) return false;
  if (*productType == "WINNT")
    text += "Workstation ";
  else if (*productType == "LANMANNT")
    text += "Server ";
  else if (*productType == "SERVERNT")
    text += "Advanced Server ";
  text += Format("%d.%d", {info.majorVersion, info.minorVersion});
  return true;
}

std::string ServicePackAndBuild(SystemApi& api, const OsVersionInfo& info) {
  const auto build16 = static_cast<std::int32_t>(info.buildNumber & 0xFFFFu);
  const std::string csd = CsdText(info);
  if (info.majorVersion == 4 && api.CompareTextNoCase(csd, "Service Pack 6") == 0) {
    ScopedKey hotfix(api, kSp6aHotfixKey);
    if (hotfix.open()) return Format("Service Pack 6a (Build %d)", {build16});
  }
  return Format("%s (Build %d)", {csd, build16});
}

std::string NtFamily(SystemApi& api, const OsVersionInfo& info, bool exInfoAvailable) {
  std::string text = NtName(info);
  if (exInfoAvailable) {
    text += EditionFromRecord(info);
  } else if (!AppendEditionFromRegistry(api, info, text)) {
    return text;
  }
  return text + ServicePackAndBuild(api, info);
}

}  // namespace

std::string GetOsDescriptionDetailed(SystemApi& api) {
  OsVersionInfo info{};
  info.osVersionInfoSize = kOsVersionInfoExSize;
  const bool exInfoAvailable = api.QueryVersion(info);
  if (!exInfoAvailable) {
    // The record is reused as it is: only the size field changes.
    info.osVersionInfoSize = kOsVersionInfoSize;
    if (!api.QueryVersion(info)) return "Unknown";
  }
  switch (info.platformId) {
    case kPlatformWin32s:
      return "Microsoft Win32s";
    case kPlatformWin32Windows:
      return Windows95Family(info);
    case kPlatformWin32Nt:
      return NtFamily(api, info, exInfoAvailable);
    default:
      return "Unknown";
  }
}

void PlatformIdName(std::uint32_t platformId, std::string& name) {
  switch (platformId) {
    case kPlatformWin32s:
      name = "Windows 3.1";
      break;
    case kPlatformWin32Windows:
      name = "Windows 95";
      break;
    case kPlatformWin32Nt:
      name = "Windows NT";
      break;
    default:
      break;
  }
}

std::string GetOsDescriptionSimple(SystemApi& api) {
  OsVersionInfo info{};
  info.osVersionInfoSize = kOsVersionInfoSize;
  api.QueryVersion(info);  // a refused query leaves the record zero
  std::string name;
  PlatformIdName(info.platformId, name);
  return Format("%s Version %d.%d (Build %d : %s)",
                {name, info.majorVersion, info.minorVersion, info.buildNumber, CsdText(info)});
}

std::string DescribeWithFallbacks(std::initializer_list<std::function<std::string()>> levels,
                                  const std::string& fixed) {
  for (const auto& level : levels) {
    try {
      return level();
    } catch (...) {
      // The next, simpler level stands in; the description never fails.
    }
  }
  return fixed;
}

std::string GetOsDescription(SystemApi& api) {
  return DescribeWithFallbacks(
      {[&api] { return GetOsDescriptionDetailed(api); }, [&api] { return GetOsDescriptionSimple(api); }},
      kOsDescriptionFallback);
}

std::string DescribeRunningOs(SystemApi& api) {
  std::string native = api.NativeOsDescription();
  return native.empty() ? GetOsDescription(api) : native;
}

}  // namespace morvel
