#include "tests/core/binary/VersionResourceBuilder.h"

#include "base/Bytes.h"
#include "base/Utf.h"
#include "core/binary/VersionResource.h"
#include "core/system/Version.h"

namespace morvel {
namespace {

void PadTo4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
  for (const char16_t c : base::Utf8ToUtf16(text)) base::Put16(out, c);
  base::Put16(out, 0);
}

// Opens a block (header, key, padding) and returns its offset; Close fills in its length.
std::size_t Open(std::vector<std::uint8_t>& out, const std::string& key, std::uint16_t valueLength,
                 std::uint16_t type) {
  PadTo4(out);
  const std::size_t start = out.size();
  base::Put16(out, 0);  // 0: wLength, set on closing
  base::Put16(out, valueLength);
  base::Put16(out, type);
  PutText(out, key);
  PadTo4(out);
  return start;
}

void Close(std::vector<std::uint8_t>& out, std::size_t start) {
  base::Set16(out, start, static_cast<std::uint16_t>(out.size() - start));
}

std::uint32_t High(const std::array<std::uint16_t, 4>& v) { return (std::uint32_t{v[0]} << 16) | v[1]; }
std::uint32_t Low(const std::array<std::uint16_t, 4>& v) { return (std::uint32_t{v[2]} << 16) | v[3]; }

void PutFixedInfo(std::vector<std::uint8_t>& out, const VersionResourceContent& c) {
  for (const std::uint32_t v :
       {kFixedFileInfoSignature, 0x00010000u, High(c.fileVersion), Low(c.fileVersion), High(c.productVersion),
        Low(c.productVersion), c.fileFlagsMask, c.fileFlags, c.fileOs, c.fileType, c.fileSubtype, 0u, 0u})
    base::Put32(out, v);
}

}  // namespace

VersionResourceContent MorvelVersionContent() {
  VersionResourceContent c;
  c.fileVersion = {MORVEL_VERSION_MAJOR, MORVEL_VERSION_MINOR, MORVEL_VERSION_RELEASE, MORVEL_VERSION_BUILD};
  c.productVersion = c.fileVersion;
  c.fileFlagsMask = 0x3F;
  c.fileOs = 4;    // VOS__WINDOWS32
  c.fileType = 1;  // VFT_APP
  c.stringTable = MORVEL_VERSION_STRING_TABLE;
  c.strings = {{"CompanyName", ""},      {"FileDescription", ""}, {"FileVersion", MORVEL_FILE_VERSION_TEXT},
               {"InternalName", ""},     {"LegalCopyright", ""},  {"LegalTrademarks", ""},
               {"OriginalFilename", ""}, {"ProductName", ""},     {"ProductVersion", MORVEL_PRODUCT_VERSION_TEXT},
               {"Comments", ""}};
  c.language = MORVEL_VERSION_LANGUAGE;
  c.codePage = MORVEL_VERSION_CODEPAGE;
  return c;
}

std::vector<std::uint8_t> BuildVersionResource(const VersionResourceContent& content) {
  std::vector<std::uint8_t> out;
  const std::size_t root = Open(out, "VS_VERSION_INFO", kFixedFileInfoSize, 0);
  PutFixedInfo(out, content);

  const std::size_t stringInfo = Open(out, "StringFileInfo", 0, 1);
  const std::size_t table = Open(out, content.stringTable, 0, 1);
  for (const auto& [key, text] : content.strings) {
    // A text value's length counts its characters with the terminating zero.
    const auto length = static_cast<std::uint16_t>(base::Utf8ToUtf16(text).size() + 1);
    const std::size_t entry = Open(out, key, length, 1);
    PutText(out, text);
    Close(out, entry);
  }
  Close(out, table);
  Close(out, stringInfo);

  const std::size_t varInfo = Open(out, "VarFileInfo", 0, 1);
  const std::size_t var = Open(out, "Translation", 4, 0);
  base::Put16(out, content.language);
  base::Put16(out, content.codePage);
  Close(out, var);
  Close(out, varInfo);

  Close(out, root);
  return out;
}

}  // namespace morvel
