#include <gtest/gtest.h>

#include "tests/fakes/FakeSystemApi.h"
#include "core/system/OsDescription.h"

namespace morvel {
namespace {

using testing::FakeSystemApi;

constexpr const char* kProductOptions = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* kHotfix = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

struct OsCase {
  const char* name;
  OsVersionInfo record;
  bool extended = true;  // the 156-byte record is accepted
  bool plain = true;
  const char* productType = nullptr;  // registry "ProductType" (key present when set)
  bool hotfix = false;
  const char* expected = "";
};

OsVersionInfo Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build, const char* csd, std::uint8_t type,
                 std::uint16_t suite = 0) {
  return FakeSystemApi::Record(kPlatformWin32Nt, major, minor, build, csd, type, suite);
}
OsVersionInfo W9x(std::uint32_t major, std::uint32_t minor, const char* csd) {
  return FakeSystemApi::Record(kPlatformWin32Windows, major, minor, 0, csd);
}

const OsCase kCases[] = {
    {"XpPro", Nt(5, 1, 2600, "Service Pack 2", 1), true, true, nullptr, false,
     "Microsoft Windows XP Professional Service Pack 2 (Build 2600)"},
    {"XpHome", Nt(5, 1, 2600, "Service Pack 2", 1, 0x0200), true, true, nullptr, false,
     "Microsoft Windows XP Home Edition Service Pack 2 (Build 2600)"},
    {"Win2000AdvancedServer", Nt(5, 0, 2195, "Service Pack 4", 3, 0x0002), true, true, nullptr, false,
     "Microsoft Windows 2000 Advanced Server Service Pack 4 (Build 2195)"},
    {"Win2000Datacenter", Nt(5, 0, 2195, "", 3, 0x0082), true, true, nullptr, false,
     "Microsoft Windows 2000 Datacenter Server  (Build 2195)"},
    {"DomainController", Nt(5, 0, 2195, "Service Pack 4", 2), true, true, nullptr, false,
     "Microsoft Windows 2000 Service Pack 4 (Build 2195)"},
    {"Server2003Web", Nt(5, 2, 3790, "", 3, 0x0400), true, true, nullptr, false,
     "Microsoft Windows .NET Server 2003 family, Web Edition  (Build 3790)"},
    {"Server2003BladeIsNotABitTest", Nt(5, 2, 3790, "", 3, 0x0410), true, true, nullptr, false,
     "Microsoft Windows .NET Server 2003 family, Standard Edition  (Build 3790)"},
    {"Server2003Enterprise", Nt(5, 2, 3790, "", 3, 0x0402), true, true, nullptr, false,
     "Microsoft Windows .NET Server 2003 family, Enterprise Edition  (Build 3790)"},
    {"Nt4Sp6aWithHotfix", Nt(4, 0, 1381, "Service Pack 6", 1), true, true, nullptr, true,
     "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)"},
    {"Nt4Sp6WithoutHotfix", Nt(4, 0, 1381, "Service Pack 6", 1), true, true, nullptr, false,
     "Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)"},
    {"Nt4Sp6UpperCase", Nt(4, 0, 1381, "SERVICE PACK 6", 1), true, true, nullptr, true,
     "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)"},
    {"Nt4EnterpriseServer", Nt(4, 0, 1381, "Service Pack 5", 3, 0x0002), true, true, nullptr, false,
     "Microsoft Windows NT Server 4.0, Enterprise Edition Service Pack 5 (Build 1381)"},
    {"Nt4RegistryWinNt", Nt(4, 0, 1381, "Service Pack 5", 0), false, true, "WinNT", false,
     "Microsoft Windows NT Workstation 4.0Service Pack 5 (Build 1381)"},
    {"Nt4RegistryLanmanNt", Nt(4, 0, 1381, "Service Pack 5", 0), false, true, "LanmanNT", false,
     "Microsoft Windows NT Server 4.0Service Pack 5 (Build 1381)"},
    {"Nt4RegistryServerNt", Nt(4, 0, 1381, "Service Pack 5", 0), false, true, "ServerNT", false,
     "Microsoft Windows NT Advanced Server 4.0Service Pack 5 (Build 1381)"},
    {"Nt4RegistryOther", Nt(4, 0, 1381, "Service Pack 5", 0), false, true, "Terminal", false,
     "Microsoft Windows NT 4.0Service Pack 5 (Build 1381)"},
    {"Nt4RegistryMissing", Nt(4, 0, 1381, "Service Pack 5", 0), false, true, nullptr, false, "Microsoft Windows NT "},
    {"Nt4RegistrySp6Hotfix", Nt(4, 0, 1381, "Service Pack 6", 0), false, true, "WinNT", true,
     "Microsoft Windows NT Workstation 4.0Service Pack 6a (Build 1381)"},
    {"Win8Unknown", Nt(6, 2, 9200, "", 1), true, true, nullptr, false,
     "Windows NT product family? Professional  (Build 9200)"},
    {"Win8Server", Nt(6, 2, 9200, "", 3), true, true, nullptr, false,
     "Windows NT product family? Server 4.0  (Build 9200)"},
    {"BuildLow16Bits", Nt(5, 1, 68136, "Service Pack 2", 1), true, true, nullptr, false,
     "Microsoft Windows XP Professional Service Pack 2 (Build 2600)"},
    {"Win95Osr2C", W9x(4, 0, " C"), true, true, nullptr, false, "Microsoft Windows 95 OSR2 "},
    {"Win95Osr2B", W9x(4, 0, " B"), true, true, nullptr, false, "Microsoft Windows 95 OSR2 "},
    {"Win95LetterAtIndex0", W9x(4, 0, "C"), true, true, nullptr, false, "Microsoft Windows 95 "},
    {"Win98Se", W9x(4, 10, " A "), true, true, nullptr, false, "Microsoft Windows 98 SE "},
    {"Win98", W9x(4, 10, ""), true, true, nullptr, false, "Microsoft Windows 98 "},
    {"WinMe", W9x(4, 90, ""), true, true, nullptr, false, "Microsoft Windows Millennium Edition"},
    {"Win9xOtherVersion", W9x(4, 3, ""), true, true, nullptr, false, "Unknown"},
    {"Win32s", FakeSystemApi::Record(0, 3, 10, 0, ""), true, true, nullptr, false, "Microsoft Win32s"},
    {"PlatformUnknown", FakeSystemApi::Record(3, 6, 2, 9200, ""), true, true, nullptr, false, "Unknown"},
    {"BothQueriesRefused", Nt(5, 1, 2600, "", 1), false, false, nullptr, false, "Unknown"},
};

class OsDescriptionCases : public ::testing::TestWithParam<OsCase> {};

TEST_P(OsDescriptionCases, DescribesRecordAndClosesEveryKey) {
  const OsCase& c = GetParam();
  FakeSystemApi api;
  api.version = c.record;
  api.acceptExtended = c.extended;
  api.acceptPlain = c.plain;
  if (c.productType) {
    api.registryKeys.insert(kProductOptions);
    api.productTypes[kProductOptions] = c.productType;
  }
  if (c.hotfix) api.registryKeys.insert(kHotfix);

  EXPECT_EQ(GetOsDescription(api), c.expected);
  EXPECT_EQ(api.openKeys, 0);
  for (std::size_t i = 0; i < api.openRoots.size(); ++i) {
    EXPECT_EQ(api.openRoots[i], kHkeyLocalMachine);
    EXPECT_EQ(api.openOptions[i], 0u);
    EXPECT_EQ(api.openAccess[i], 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Records, OsDescriptionCases, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(OsDescription, AsksExtendedThenPlainRecord) {
  FakeSystemApi api;
  api.acceptExtended = false;
  api.version = Nt(4, 0, 1381, "Service Pack 5", 0);
  api.registryKeys.insert(kProductOptions);
  api.productTypes[kProductOptions] = "WinNT";
  GetOsDescriptionDetailed(api);
  EXPECT_EQ(api.versionSizes, (std::vector<std::uint32_t>{156, 148}));
  EXPECT_EQ(api.openedKeyPaths, std::vector<std::string>{kProductOptions});
  EXPECT_EQ(api.valueNames, std::vector<std::string>{"ProductType"});
  EXPECT_EQ(api.valueBufferSizes, std::vector<std::uint32_t>{255});
  EXPECT_EQ(api.valueSizesIn, std::vector<std::uint32_t>{255});
  EXPECT_EQ(api.closedKeys.size(), 1u);
}

TEST(OsDescription, ProductTypeReadFailuresCloseTheKeyAndEndAfterTheName) {
  for (const bool oversized : {false, true}) {
    FakeSystemApi api;
    api.acceptExtended = false;
    api.version = Nt(4, 0, 1381, "Service Pack 5", 0);
    api.registryKeys.insert(kProductOptions);
    api.productTypes[kProductOptions] = "WinNT";
    if (oversized)
      api.reportedValueSize = 256;
    else
      api.queryValueResult = 234;  // ERROR_MORE_DATA
    EXPECT_EQ(GetOsDescription(api), "Microsoft Windows NT ");
    EXPECT_EQ(api.openKeys, 0);
    EXPECT_EQ(api.closedKeys.size(), 1u);
  }
}

TEST(OsDescription, ProductTypeStopsAtReportedSize) {
  FakeSystemApi api;
  api.acceptExtended = false;
  api.version = Nt(4, 0, 1381, "Service Pack 5", 0);
  api.registryKeys.insert(kProductOptions);
  api.productTypes[kProductOptions] = "WinNTX";
  api.reportedValueSize = 5;  // "WinNT" without its terminator
  EXPECT_EQ(GetOsDescription(api), "Microsoft Windows NT Workstation 4.0Service Pack 5 (Build 1381)");
}

TEST(OsDescription, FallsBackToFixedTextWhenSimpleRaisesToo) {
  FakeSystemApi api;
  api.version = Nt(5, 1, 2600, "Service Pack 2", 1);
  api.raiseForSizes = {156, 148};
  EXPECT_EQ(GetOsDescription(api), "Microsoft Windows");

  FakeSystemApi refused;  // the extended record refused, the plain query raising
  refused.acceptExtended = false;
  refused.raiseForSizes = {148};
  EXPECT_EQ(GetOsDescription(refused), "Microsoft Windows");
  EXPECT_EQ(refused.versionSizes, (std::vector<std::uint32_t>{156, 148, 148}));
}

struct SimpleCase {
  OsVersionInfo record;
  const char* expected;
};

TEST(OsDescription, SimpleDescriptionWhenDetailedRaises) {
  const SimpleCase cases[] = {
      {Nt(5, 1, 2600, "Service Pack 2", 1), "Windows NT Version 5.1 (Build 2600 : Service Pack 2)"},
      {FakeSystemApi::Record(1, 4, 10, 67766446, " A "), "Windows 95 Version 4.10 (Build 67766446 :  A )"},
      {FakeSystemApi::Record(3, 6, 2, 9200, ""), " Version 6.2 (Build 9200 : )"},
      {FakeSystemApi::Record(0, 3, 10, 0xFFFFFFFFu, ""), "Windows 3.1 Version 3.10 (Build -1 : )"},
  };
  for (const auto& c : cases) {
    FakeSystemApi api;
    api.version = c.record;
    api.raiseForSizes = {156};  // only the detailed level asks for the extended record
    EXPECT_EQ(GetOsDescription(api), c.expected);
    EXPECT_EQ(api.versionSizes, (std::vector<std::uint32_t>{156, 148}));
  }
}

TEST(OsDescription, SimpleDescriptionOfRefusedQueryIsZeroRecord) {
  FakeSystemApi api;
  api.acceptPlain = false;
  api.version = Nt(5, 1, 2600, "Service Pack 2", 1);
  EXPECT_EQ(GetOsDescriptionSimple(api), "Windows 3.1 Version 0.0 (Build 0 : )");
}

TEST(OsDescription, NativeDescriptionTakesPrecedence) {
  FakeSystemApi api;
  api.acceptExtended = api.acceptPlain = false;
  EXPECT_EQ(DescribeRunningOs(api), "Unknown");
  api.versionSizes.clear();
  api.nativeDescription = "Debian GNU/Linux 12 (bookworm) Linux 6.1.0 x86_64";
  EXPECT_EQ(DescribeRunningOs(api), "Debian GNU/Linux 12 (bookworm) Linux 6.1.0 x86_64");
  EXPECT_TRUE(api.versionSizes.empty());
}

}  // namespace
}  // namespace morvel
