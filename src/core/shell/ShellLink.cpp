#include "core/shell/ShellLink.h"

#include "base/Bytes.h"
#include "core/shell/ShellApi.h"
#include "base/Utf.h"

namespace morvel {
namespace {

constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 1;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x24;  // with the Unicode offsets

void PutGuid(std::vector<std::uint8_t>& out, const Guid& g) {
  base::Put32(out, g.data1);
  base::Put16(out, g.data2);
  base::Put16(out, g.data3);
  out.insert(out.end(), g.data4.begin(), g.data4.end());
}

void PutHeader(std::vector<std::uint8_t>& out, std::uint32_t flags) {
  base::Put32(out, kLinkHeaderSize);  // 0x00: HeaderSize
  PutGuid(out, kClsidShellLink);    // 0x04: LinkCLSID
  base::Put32(out, flags);            // 0x14: LinkFlags
  base::Put32(out, 0);                // 0x18: FileAttributes
  base::Put64(out, 0);                // 0x1C: CreationTime
  base::Put64(out, 0);                // 0x24: AccessTime
  base::Put64(out, 0);                // 0x2C: WriteTime
  base::Put32(out, 0);                // 0x34: FileSize
  base::Put32(out, 0);                // 0x38: IconIndex
  base::Put32(out, kShowNormal);      // 0x3C: ShowCommand
  base::Put16(out, 0);                // 0x40: HotKey
  base::Put16(out, 0);                // 0x42: Reserved1
  base::Put32(out, 0);                // 0x44: Reserved2
  base::Put32(out, 0);                // 0x48: Reserved3
}

std::string AsciiOnly(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    if (b < 0x80)
      out += text[i];
    else if ((b & 0xC0) != 0x80)
      out += '?';  // one "?" per character, not per byte
  }
  return out;
}

void PutAnsiZ(std::vector<std::uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void PutWideZ(std::vector<std::uint8_t>& out, const std::u16string& text) {
  for (const char16_t c : text) base::Put16(out, c);
  base::Put16(out, 0);
}

void PutLinkInfo(std::vector<std::uint8_t>& out, const std::string& target) {
  const std::size_t start = out.size();
  const std::string ansi = AsciiOnly(target);
  constexpr std::uint32_t volumeIdSize = 0x11;  // four fields and an empty label
  const std::uint32_t localBasePath = kLinkInfoHeaderSize + volumeIdSize;
  const std::uint32_t suffix = localBasePath + static_cast<std::uint32_t>(ansi.size() + 1);
  const std::uint32_t localBasePathUnicode = suffix + 1;
  const std::u16string wide = base::Utf8ToUtf16(target);
  const std::uint32_t suffixUnicode = localBasePathUnicode + static_cast<std::uint32_t>((wide.size() + 1) * 2);
  base::Put32(out, 0);                          // 0x00: LinkInfoSize, set below
  base::Put32(out, kLinkInfoHeaderSize);        // 0x04: LinkInfoHeaderSize
  base::Put32(out, kVolumeIdAndLocalBasePath);  // 0x08: LinkInfoFlags
  base::Put32(out, kLinkInfoHeaderSize);        // 0x0C: VolumeIDOffset
  base::Put32(out, localBasePath);              // 0x10: LocalBasePathOffset
  base::Put32(out, 0);                          // 0x14: CommonNetworkRelativeLinkOffset
  base::Put32(out, suffix);                     // 0x18: CommonPathSuffixOffset
  base::Put32(out, localBasePathUnicode);       // 0x1C: LocalBasePathOffsetUnicode
  base::Put32(out, suffixUnicode);              // 0x20: CommonPathSuffixOffsetUnicode
  base::Put32(out, volumeIdSize);               // VolumeID 0x00: VolumeIDSize
  base::Put32(out, kDriveFixed);                // VolumeID 0x04: DriveType
  base::Put32(out, 0);                          // VolumeID 0x08: DriveSerialNumber
  base::Put32(out, 0x10);                       // VolumeID 0x0C: VolumeLabelOffset
  out.push_back(0);                           // VolumeID 0x10: empty label
  PutAnsiZ(out, ansi);                        // LocalBasePath
  out.push_back(0);                           // CommonPathSuffix: empty
  PutWideZ(out, wide);                        // LocalBasePathUnicode
  base::Put16(out, 0);                          // CommonPathSuffixUnicode: empty
  base::Set32(out, start, static_cast<std::uint32_t>(out.size() - start));
}

// StringData: a count of UTF-16 units, then the units, no terminator.
void PutStringData(std::vector<std::uint8_t>& out, const std::string& text) {
  const std::u16string wide = base::Utf8ToUtf16(text);
  base::Put16(out, static_cast<std::uint16_t>(wide.size()));
  for (const char16_t c : wide) base::Put16(out, c);
}

std::string Clipped(const std::string& text) {
  // A StringData count is 16 bits; paths and arguments this long exist on no file system.
  const std::u16string wide = base::Utf8ToUtf16(text);
  return wide.size() > 0xFFFF ? base::Utf16ToUtf8(wide.substr(0, 0xFFFF)) : text;
}

}  // namespace

std::vector<std::uint8_t> WriteShellLink(const ShellLinkFields& fields) {
  const std::string workingDirectory = Clipped(fields.workingDirectory);
  const std::string arguments = Clipped(fields.arguments);
  std::uint32_t flags = kLinkHasLinkInfo | kLinkIsUnicode;
  if (!workingDirectory.empty()) flags |= kLinkHasWorkingDir;
  if (!arguments.empty()) flags |= kLinkHasArguments;
  std::vector<std::uint8_t> out;
  PutHeader(out, flags);
  PutLinkInfo(out, fields.targetPath);
  if (!workingDirectory.empty()) PutStringData(out, workingDirectory);
  if (!arguments.empty()) PutStringData(out, arguments);
  base::Put32(out, 0);  // TerminalBlock of the (empty) extra data
  return out;
}

}  // namespace morvel
