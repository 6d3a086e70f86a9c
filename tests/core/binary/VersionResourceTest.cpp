#include <gtest/gtest.h>

#include <algorithm>

#include "base/Bytes.h"
#include "core/binary/ExecutableImage.h"
#include "core/binary/VersionResource.h"
#include "core/system/FileVersion.h"
#include "tests/core/binary/ProgramFixedInfo.h"
#include "tests/core/binary/VersionResourceBuilder.h"
#include "tests/fakes/FakeSystemApi.h"

namespace morvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& Resource() {
  static const Bytes bytes = BuildVersionResource(MorvelVersionContent());
  return bytes;
}

// Decodes the fixed fields by hand so the parser's reading is checked against the layout.
TEST(VersionResource, BuiltResourceLayout) {
  const Bytes& r = Resource();
  ASSERT_GE(r.size(), 92u);
  EXPECT_EQ(base::Le16(r, 0), r.size());  // the root's wLength covers everything
  EXPECT_EQ(base::Le16(r, 2), 52);        // wValueLength: VS_FIXEDFILEINFO
  EXPECT_EQ(base::Le16(r, 4), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(r.data() + 6), 15), u"VS_VERSION_INFO");
  EXPECT_EQ(base::Le32(r, 40), 0xFEEF04BDu);  // 6 + 32 bytes of key, padded to 40
  EXPECT_EQ(base::Le32(r, 48), 0x00000006u);  // file version 0.6
  EXPECT_EQ(base::Le32(r, 52), 0x00010007u);  // .1.7
}

TEST(VersionResource, ReadsWhatTheProgramCarries) {
  const Bytes& r = Resource();
  FixedFileInfo fixed;
  ASSERT_EQ(ReadFixedFileInfo(r, fixed), VersionError::None);
  testing::ExpectProgramFixedInfo(fixed);
  EXPECT_EQ(ReadVersionString(r, "\\StringFileInfo\\041103A4\\FileVersion"), "0.6.1.7");
  EXPECT_EQ(ReadVersionString(r, "StringFileInfo\\041103a4\\fileversion"), "0.6.1.7");
  EXPECT_EQ(ReadVersionString(r, "\\StringFileInfo\\041103A4\\ProductVersion"), "1.0.0.0");
  EXPECT_EQ(ReadVersionString(r, "\\StringFileInfo\\041103A4\\CompanyName"), "");
  EXPECT_EQ(ReadVersionString(r, "\\StringFileInfo\\040904B0\\FileVersion"), std::nullopt);
  EXPECT_EQ(ReadVersionString(r, "\\StringFileInfo\\041103A4\\Missing"), std::nullopt);
  EXPECT_EQ(ReadTranslations(r), (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x0411, 0x03A4}}));
  const auto table = ReadStringTable(r, "041103A4");
  ASSERT_EQ(table.size(), 10u);
  EXPECT_EQ(table[2], (std::pair<std::string, std::string>{"FileVersion", "0.6.1.7"}));
  EXPECT_EQ(table[9], (std::pair<std::string, std::string>{"Comments", ""}));
}

TEST(VersionResource, RejectsDamagedResources) {
  struct Mutation {
    const char* name;
    std::size_t at;
    std::uint16_t value;
    VersionError expected;
  };
  const Bytes& good = Resource();
  const Mutation cases[] = {
      {"root length past the data", 0, static_cast<std::uint16_t>(good.size() + 4), VersionError::BadBlockLength},
      {"root length below a header", 0, 4, VersionError::BadBlockLength},
      {"root key", 6, u'X', VersionError::BadRootKey},
      {"fixed part size", 2, 48, VersionError::BadFixedInfo},
      {"fixed part signature", 40, 0x1234, VersionError::BadFixedInfo},
      {"binary value past its block", 2, 0xFFFF, VersionError::Truncated},
      {"unterminated key", 0, 20, VersionError::UnterminatedKey},
  };
  for (const auto& m : cases) {
    Bytes bad = good;
    base::Set16(bad, m.at, m.value);
    VersionValue value;
    EXPECT_EQ(FindVersionValue(bad, "\\", value), m.expected) << m.name;
  }
  VersionValue value;
  EXPECT_EQ(FindVersionValue(Bytes{1, 2, 3}, "\\", value), VersionError::Truncated);
  // A child block claiming more than its parent holds.
  Bytes child = good;
  base::Set16(child, 92, 0xFFF0);  // the StringFileInfo block's wLength
  EXPECT_EQ(FindVersionValue(child, "\\StringFileInfo\\041103A4\\FileVersion", value), VersionError::BadBlockLength);
}

TEST(VersionResource, InfoBufferHandsOutEightBitTexts) {
  const Bytes buffer = VersionInfoBuffer(Resource());
  std::size_t offset = 0;
  std::uint32_t length = 0;
  ASSERT_TRUE(QueryVersionInfoBuffer(buffer, "\\StringFileInfo\\041103A4\\FileVersion", offset, length));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data() + offset)), "0.6.1.7");
  EXPECT_EQ(length, 8u);
  ASSERT_TRUE(QueryVersionInfoBuffer(buffer, "\\StringFileInfo\\041103A4\\Comments", offset, length));
  EXPECT_EQ(buffer[offset], 0);
  ASSERT_TRUE(QueryVersionInfoBuffer(buffer, "\\VarFileInfo\\Translation", offset, length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(base::Le32(buffer, offset), 0x03A40411u);
  EXPECT_FALSE(QueryVersionInfoBuffer(buffer, "\\StringFileInfo\\040904B0\\FileVersion", offset, length));
  EXPECT_FALSE(QueryVersionInfoBuffer(std::span(buffer).first(Resource().size()), "\\", offset, length));
}

// The version lookup through the system interface, answered as the platform's query would.
struct FileVersionFixture : ::testing::Test {
  testing::FakeSystemApi api;
  FileVersionFixture() {
    api.queryValue = [](std::span<const std::uint8_t> block, const std::string& path, std::size_t& offset,
                        std::uint32_t& length) { return QueryVersionInfoBuffer(block, path, offset, length); };
  }
  void Carry(const std::string& file, const VersionResourceContent& content) {
    api.versionData[file] = VersionInfoBuffer(BuildVersionResource(content));
  }
};

TEST_F(FileVersionFixture, FileVersionText) {
  Carry("C:\\Tools\\MorvelTest.exe", MorvelVersionContent());
  VersionResourceContent english = MorvelVersionContent();
  english.stringTable = "040904B0";
  Carry("C:\\english.exe", english);
  VersionResourceContent empty = MorvelVersionContent();
  empty.strings[2].second = "";
  Carry("C:\\empty.exe", empty);

  EXPECT_EQ(GetFileVersionText(api, "C:\\Tools\\MorvelTest.exe"), "0.6.1.7");
  EXPECT_EQ(api.versionSubBlocks.back(), "\\StringFileInfo\\041103A4\\FileVersion");
  EXPECT_EQ(GetFileVersionText(api, "C:\\english.exe"), "");
  EXPECT_EQ(GetFileVersionText(api, "C:\\empty.exe"), "");
  EXPECT_EQ(GetFileVersionText(api, "C:\\none.exe"), "");
  api.raiseOnFileVersionInfo = true;
  EXPECT_EQ(GetFileVersionText(api, "C:\\Tools\\MorvelTest.exe"), "");
}

TEST_F(FileVersionFixture, QueryAnswerOutsideTheBufferGivesEmptyText) {
  api.versionData["a.exe"] = {'1', '2', 0, 0};
  api.queryValue = [](std::span<const std::uint8_t>, const std::string&, std::size_t& offset, std::uint32_t&) {
    offset = 4;
    return true;
  };
  EXPECT_EQ(GetFileVersionText(api, "a.exe"), "");
}

TEST_F(FileVersionFixture, Captions) {
  Carry("C:\\Tools\\MorvelTest.exe", MorvelVersionContent());
  EXPECT_EQ(StampCaptionText(api, "Morveltest", "Form1"), "Morveltest Ver.0.6.1.7 - Form1");
  EXPECT_EQ(StampCaptionText(api, "Volreport", "InfoForm"), "Volreport Ver.0.6.1.7 - InfoForm");
  EXPECT_EQ(api.moduleBufferSizes.back(), 261u);
  api.moduleFileName = "C:\\Tools\\VOLREPORT.EXE";
  EXPECT_EQ(StampCaptionText(api, "Volreport", "Form1"), "Volreport Ver. - Form1");
}

TEST_F(FileVersionFixture, BuiltInVersionIsTakenWithoutReadingTheExecutable) {
  api.builtInVersion = "2.0.0.1";
  EXPECT_EQ(StampCaptionText(api, "Morveltest", "Form1"), "Morveltest Ver.2.0.0.1 - Form1");
  EXPECT_EQ(ExecutableFileVersion(api, "C:\\Tools\\MorvelTest.exe"), "2.0.0.1");
  EXPECT_EQ(std::count(api.calls.begin(), api.calls.end(), "FileVersionInfoSize"), 0);
}

// A minimal PE32+ file with one .rsrc section holding `resource` as RT_VERSION, name 1.
Bytes MakePe(const Bytes& resource, std::uint32_t type = 16, std::uint16_t language = 0x0411) {
  Bytes f(0x200, 0);
  f[0] = 'M', f[1] = 'Z';
  base::Set32(f, 0x3C, 0x40);
  base::Set32(f, 0x40, 0x00004550);  // "PE\0\0"
  base::Set16(f, 0x44, 0x8664);      // machine
  base::Set16(f, 0x46, 1);           // one section
  base::Set16(f, 0x54, 240);         // optional header size
  const std::size_t opt = 0x58;
  base::Set16(f, opt, 0x20B);
  base::Set32(f, opt + 108, 16);  // data directories
  const std::size_t sectionTable = opt + 240;
  const std::uint32_t rsrcSize = static_cast<std::uint32_t>(0x58 + resource.size());
  base::Set32(f, opt + 112 + 16, 0x1000);  // resource directory RVA
  base::Set32(f, opt + 112 + 20, rsrcSize);
  std::copy_n(".rsrc", 5, f.begin() + static_cast<std::ptrdiff_t>(sectionTable));
  base::Set32(f, sectionTable + 8, rsrcSize);
  base::Set32(f, sectionTable + 12, 0x1000);
  base::Set32(f, sectionTable + 16, rsrcSize);
  base::Set32(f, sectionTable + 20, 0x200);
  Bytes r(0x58, 0);
  auto directory = [&](std::size_t at, std::uint32_t id, std::uint32_t target) {
    base::Set16(r, at + 14, 1);
    base::Set32(r, at + 16, id);
    base::Set32(r, at + 20, target);
  };
  directory(0x00, type, 0x80000018);
  directory(0x18, 1, 0x80000030);
  directory(0x30, language, 0x48);
  base::Set32(r, 0x48, 0x1058);
  base::Set32(r, 0x4C, static_cast<std::uint32_t>(resource.size()));
  r.insert(r.end(), resource.begin(), resource.end());
  f.insert(f.end(), r.begin(), r.end());
  return f;
}

TEST(ExecutableImage, FindsPeVersionResource) {
  const Bytes pe = MakePe(Resource());
  ImageResource found;
  ASSERT_EQ(FindPeVersionResource(pe, found), ImageError::None);
  EXPECT_EQ(found.language, 0x0411);
  EXPECT_EQ(Bytes(found.bytes.begin(), found.bytes.end()), Resource());

  EXPECT_EQ(FindPeVersionResource(MakePe(Resource(), 14), found), ImageError::NoVersionResource);
  const struct {
    const char* name;
    std::size_t at;
    int width;  // bytes written
    std::uint32_t value;
    ImageError expected;
  } mutations[] = {
      {"e_lfanew past the file", 0x3C, 4, 0x7FFFFFF0, ImageError::NotPe},
      {"PE signature", 0x40, 4, 0x00004551, ImageError::NotPe},
      {"section count", 0x46, 2, 0xFFFF, ImageError::BadHeader},
      {"optional magic", 0x58, 2, 0x10C, ImageError::BadHeader},
      {"no resource directory", 0x58 + 128, 4, 0, ImageError::NoResources},
      {"resource RVA in no section", 0x58 + 128, 4, 0x9000, ImageError::NoResources},
      {"raw data past the file", 0x58 + 240 + 20, 4, 0x7FFF0000, ImageError::NoResources},
      {"type directory count", 0x200 + 14, 2, 0x4000, ImageError::BadResourceDirectory},
      {"data entry past the section", 0x200 + 0x30 + 20, 4, 0x7FFF, ImageError::BadResourceDirectory},
      {"data size past the section", 0x200 + 0x4C, 4, 0x10000, ImageError::BadResourceDirectory},
  };
  for (const auto& m : mutations) {
    Bytes bad = pe;
    if (m.width == 4)
      base::Set32(bad, m.at, m.value);
    else
      base::Set16(bad, m.at, static_cast<std::uint16_t>(m.value));
    EXPECT_EQ(FindPeVersionResource(bad, found), m.expected) << m.name;
  }
}

}  // namespace
}  // namespace morvel
