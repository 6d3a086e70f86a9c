#pragma once
// A SystemApi that answers from a script and records every call with its arguments.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/system/SystemApi.h"

namespace morvel::testing {

class FakeSystemApi : public SystemApi {
 public:
  // Script
  bool acceptExtended = true;                       // the 156-byte record is accepted
  bool acceptPlain = true;                          // the 148-byte record is accepted
  OsVersionInfo version;                            // what a successful query fills in (size field ignored)
  std::set<std::uint32_t> raiseForSizes;            // record sizes whose query raises (a failing heap, say)
  std::set<std::string> registryKeys;               // keys that open, by path
  std::map<std::string, std::string> productTypes;  // key path -> "ProductType" data (without terminator)
  std::optional<std::uint32_t> reportedValueSize;   // overrides the size a value read reports
  std::int32_t queryValueResult = 0;
  MemoryCounts memory;
  std::string moduleFileName = "C:\\Tools\\MorvelTest.exe";
  std::map<std::string, std::vector<std::uint8_t>> versionData;  // by file name
  bool raiseOnFileVersionInfo = false;
  std::optional<std::string> builtInVersion;
  std::set<std::uint8_t> leadBytes;
  NumberSeparators separators;
  std::string nativeDescription;

  // Record
  std::vector<std::string> calls;
  std::vector<std::uint32_t> versionSizes;  // size field of each query
  std::vector<std::string> openedKeyPaths;
  std::vector<RegistryKey> openRoots;
  std::vector<std::uint32_t> openOptions, openAccess;
  std::vector<std::string> valueNames;
  std::vector<std::uint32_t> valueBufferSizes, valueSizesIn;
  std::vector<RegistryKey> closedKeys;
  std::vector<std::uint32_t> moduleBufferSizes;
  std::vector<std::string> versionSubBlocks;
  int openKeys = 0;

  bool QueryVersion(OsVersionInfo& info) override {
    calls.push_back("QueryVersion");
    versionSizes.push_back(info.osVersionInfoSize);
    if (raiseForSizes.contains(info.osVersionInfoSize)) throw std::runtime_error("out of memory");
    const bool extended = info.osVersionInfoSize == kOsVersionInfoExSize;
    if (extended ? !acceptExtended : !acceptPlain) return false;
    const std::uint32_t size = info.osVersionInfoSize;
    OsVersionInfo filled = version;
    filled.osVersionInfoSize = size;
    if (!extended) {
      filled.servicePackMajor = info.servicePackMajor;
      filled.servicePackMinor = info.servicePackMinor;
      filled.suiteMask = info.suiteMask;
      filled.productType = info.productType;
      filled.reserved = info.reserved;
    }
    info = filled;
    return true;
  }

  std::int32_t OpenRegistryKey(RegistryKey root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                               RegistryKey& key) override {
    calls.push_back("OpenRegistryKey");
    openedKeyPaths.push_back(subKey);
    openRoots.push_back(root);
    openOptions.push_back(options);
    openAccess.push_back(access);
    if (!registryKeys.contains(subKey)) return 2;  // ERROR_FILE_NOT_FOUND
    ++openKeys;
    key = 0x1000 + openedKeyPaths.size();
    keyPaths_[key] = subKey;
    return 0;
  }

  std::int32_t QueryRegistryValue(RegistryKey key, const std::string& valueName, std::span<std::uint8_t> data,
                                  std::uint32_t& size) override {
    calls.push_back("QueryRegistryValue");
    valueNames.push_back(valueName);
    valueBufferSizes.push_back(static_cast<std::uint32_t>(data.size()));
    valueSizesIn.push_back(size);
    if (queryValueResult != 0) return queryValueResult;
    const auto it = productTypes.find(keyPaths_[key]);
    if (valueName != "ProductType" || it == productTypes.end()) return 2;
    const std::string& text = it->second;
    const std::size_t n = std::min(text.size() + 1, data.size());
    std::memcpy(data.data(), text.c_str(), n);
    size = reportedValueSize.value_or(static_cast<std::uint32_t>(text.size() + 1));
    return 0;
  }

  std::int32_t CloseRegistryKey(RegistryKey key) override {
    calls.push_back("CloseRegistryKey");
    closedKeys.push_back(key);
    --openKeys;
    return 0;
  }

  int CompareTextNoCase(const std::string& a, const std::string& b) override {
    calls.push_back("CompareTextNoCase");
    auto lower = [](std::string s) {
      for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      return s;
    };
    return lower(a).compare(lower(b));
  }

  MemoryCounts QueryMemoryStatus() override {
    calls.push_back("QueryMemoryStatus");
    return memory;
  }

  std::string ModuleFileName(std::uint32_t bufferSize) override {
    calls.push_back("ModuleFileName");
    moduleBufferSizes.push_back(bufferSize);
    return moduleFileName;
  }

  std::uint32_t FileVersionInfoSize(const std::string& fileName) override {
    calls.push_back("FileVersionInfoSize");
    const auto it = versionData.find(fileName);
    return it == versionData.end() ? 0 : static_cast<std::uint32_t>(it->second.size());
  }

  bool FileVersionInfo(const std::string& fileName, std::span<std::uint8_t> buffer) override {
    calls.push_back("FileVersionInfo");
    if (raiseOnFileVersionInfo) throw std::runtime_error("out of memory");
    const auto it = versionData.find(fileName);
    if (it == versionData.end()) return false;
    std::copy_n(it->second.begin(), std::min(it->second.size(), buffer.size()), buffer.begin());
    return true;
  }

  // Answered by the test through this hook (the core's parser, or a fixed answer).
  std::function<bool(std::span<const std::uint8_t>, const std::string&, std::size_t&, std::uint32_t&)> queryValue;

  bool QueryVersionValue(std::span<const std::uint8_t> block, const std::string& subBlock, std::size_t& offset,
                         std::uint32_t& length) override {
    calls.push_back("QueryVersionValue");
    versionSubBlocks.push_back(subBlock);
    return queryValue ? queryValue(block, subBlock, offset, length) : false;
  }

  std::optional<std::string> BuiltInFileVersion() override { return builtInVersion; }

  bool IsLeadByte(std::uint8_t byte) override { return leadBytes.contains(byte); }

  NumberSeparators UserNumberSeparators() override {
    calls.push_back("UserNumberSeparators");
    return separators;
  }

  std::string NativeOsDescription() override { return nativeDescription; }

  // Japanese code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC.
  void UseCodePage932() {
    leadBytes.clear();
    for (int b = 0x81; b <= 0x9F; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
    for (int b = 0xE0; b <= 0xFC; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
  }

  // A version record as a query would fill it.
  static OsVersionInfo Record(std::uint32_t platform, std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                              const std::string& csd, std::uint8_t productType = 0, std::uint16_t suite = 0) {
    OsVersionInfo info;
    info.platformId = platform;
    info.majorVersion = major;
    info.minorVersion = minor;
    info.buildNumber = build;
    std::copy_n(csd.begin(), std::min(csd.size(), info.csdVersion.size() - 1), info.csdVersion.begin());
    info.productType = productType;
    info.suiteMask = suite;
    return info;
  }

 private:
  std::map<RegistryKey, std::string> keyPaths_;
};

}  // namespace morvel::testing
