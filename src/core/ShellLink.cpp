#include "ShellLink.h"

#include "LittleEndian.h"
#include "ShellApi.h"
#include "Utf.h"

namespace morvel {
namespace {

constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 1;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x24;  // with the Unicode offsets

void PutGuid(std::vector<std::uint8_t>& out, const Guid& g) {
  le::Put32(out, g.data1);
  le::Put16(out, g.data2);
  le::Put16(out, g.data3);
  out.insert(out.end(), g.data4.begin(), g.data4.end());
}

void PutHeader(std::vector<std::uint8_t>& out, std::uint32_t flags) {
  le::Put32(out, kLinkHeaderSize);  // 0x00: HeaderSize
  PutGuid(out, kClsidShellLink);    // 0x04: LinkCLSID
  le::Put32(out, flags);            // 0x14: LinkFlags
  le::Put32(out, 0);                // 0x18: FileAttributes
  le::Put64(out, 0);                // 0x1C: CreationTime
  le::Put64(out, 0);                // 0x24: AccessTime
  le::Put64(out, 0);                // 0x2C: WriteTime
  le::Put32(out, 0);                // 0x34: FileSize
  le::Put32(out, 0);                // 0x38: IconIndex
  le::Put32(out, kShowNormal);      // 0x3C: ShowCommand
  le::Put16(out, 0);                // 0x40: HotKey
  le::Put16(out, 0);                // 0x42: Reserved1
  le::Put32(out, 0);                // 0x44: Reserved2
  le::Put32(out, 0);                // 0x48: Reserved3
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
  for (const char16_t c : text) le::Put16(out, c);
  le::Put16(out, 0);
}

void PutLinkInfo(std::vector<std::uint8_t>& out, const std::string& target) {
  const std::size_t start = out.size();
  const std::string ansi = AsciiOnly(target);
  constexpr std::uint32_t volumeIdSize = 0x11;  // four fields and an empty label
  const std::uint32_t localBasePath = kLinkInfoHeaderSize + volumeIdSize;
  const std::uint32_t suffix = localBasePath + static_cast<std::uint32_t>(ansi.size() + 1);
  const std::uint32_t localBasePathUnicode = suffix + 1;
  const std::u16string wide = Utf8ToUtf16(target);
  const std::uint32_t suffixUnicode = localBasePathUnicode + static_cast<std::uint32_t>((wide.size() + 1) * 2);
  le::Put32(out, 0);                          // 0x00: LinkInfoSize, set below
  le::Put32(out, kLinkInfoHeaderSize);        // 0x04: LinkInfoHeaderSize
  le::Put32(out, kVolumeIdAndLocalBasePath);  // 0x08: LinkInfoFlags
  le::Put32(out, kLinkInfoHeaderSize);        // 0x0C: VolumeIDOffset
  le::Put32(out, localBasePath);              // 0x10: LocalBasePathOffset
  le::Put32(out, 0);                          // 0x14: CommonNetworkRelativeLinkOffset
  le::Put32(out, suffix);                     // 0x18: CommonPathSuffixOffset
  le::Put32(out, localBasePathUnicode);       // 0x1C: LocalBasePathOffsetUnicode
  le::Put32(out, suffixUnicode);              // 0x20: CommonPathSuffixOffsetUnicode
  le::Put32(out, volumeIdSize);               // VolumeID 0x00: VolumeIDSize
  le::Put32(out, kDriveFixed);                // VolumeID 0x04: DriveType
  le::Put32(out, 0);                          // VolumeID 0x08: DriveSerialNumber
  le::Put32(out, 0x10);                       // VolumeID 0x0C: VolumeLabelOffset
  out.push_back(0);                           // VolumeID 0x10: empty label
  PutAnsiZ(out, ansi);                        // LocalBasePath
  out.push_back(0);                           // CommonPathSuffix: empty
  PutWideZ(out, wide);                        // LocalBasePathUnicode
  le::Put16(out, 0);                          // CommonPathSuffixUnicode: empty
  le::Set32(out, start, static_cast<std::uint32_t>(out.size() - start));
}

// StringData: a count of UTF-16 units, then the units, no terminator.
void PutStringData(std::vector<std::uint8_t>& out, const std::string& text) {
  const std::u16string wide = Utf8ToUtf16(text);
  le::Put16(out, static_cast<std::uint16_t>(wide.size()));
  for (const char16_t c : wide) le::Put16(out, c);
}

std::string Clipped(const std::string& text) {
  // A StringData count is 16 bits; paths and arguments this long exist on no file system.
  const std::u16string wide = Utf8ToUtf16(text);
  return wide.size() > 0xFFFF ? Utf16ToUtf8(wide.substr(0, 0xFFFF)) : text;
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
  le::Put32(out, 0);  // TerminalBlock of the (empty) extra data
  return out;
}

}  // namespace morvel
