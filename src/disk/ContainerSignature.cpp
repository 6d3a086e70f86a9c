#include "disk/ContainerSignature.h"

#include <array>
#include <span>
#include <string_view>

#include "base/Bytes.h"

namespace disk {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::string_view kVmdkDescriptor = "# Disk DescriptorFile";

bool HasAt(base::Bytes b, std::size_t at, std::string_view magic) {
  if (!base::Fits(b.size(), at, magic.size())) return false;
  for (std::size_t i = 0; i < magic.size(); ++i) {
    if (b[at + i] != static_cast<std::uint8_t>(magic[i])) return false;
  }
  return true;
}

std::uint32_t Be32(base::Bytes b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
         std::uint32_t{b[at + 3]};
}

// The formats told by their first sector.
Container FromHead(base::Bytes head) {
  using namespace std::string_view_literals;
  // 0: EWF version 1 ("EVF" 09 0D 0A FF 00) or 2 ("EVF2" 0D 0A 81 00)
  if (HasAt(head, 0, "EVF\x09\x0d\x0a\xff\x00"sv)) return {ContainerFormat::Ewf, 1, false};
  if (HasAt(head, 0, "EVF2\x0d\x0a\x81\x00"sv)) return {ContainerFormat::Ewf, 2, false};
  // 0: VHDX file type identifier
  if (HasAt(head, 0, "vhdxfile")) return {ContainerFormat::Vhdx, 0, false};
  // 0: VMDK sparse extent "KDMV", ESX "COWD", or a text descriptor naming its extents
  if (HasAt(head, 0, "KDMV") || HasAt(head, 0, "COWD") || HasAt(head, 0, kVmdkDescriptor)) {
    return {ContainerFormat::Vmdk, 0, false};
  }
  // 0: "QFI" FB; 4: version, big-endian
  if (HasAt(head, 0, "QFI\xfb"sv)) return {ContainerFormat::Qcow, Be32(head, 4), false};
  // 0x40: VDI image signature
  if (base::Le32(head, 0x40) == 0xBEDA107Fu) return {ContainerFormat::Vdi, 0, false};
  return {};
}

}  // namespace

bool RecogniseContainer(base::ByteSource& source, Container& out) {
  out = {};
  std::array<std::uint8_t, kSector> sector{};
  if (source.Size() < kSector) {
    // Too small for any container but a VMDK text descriptor, which need not fill a sector.
    const auto head = std::span(sector).first(static_cast<std::size_t>(source.Size()));
    if (!head.empty() && !source.ReadAt(0, head)) return false;
    if (HasAt(head, 0, kVmdkDescriptor)) out = {ContainerFormat::Vmdk, 0, false};
    return true;
  }
  if (!source.ReadAt(0, sector)) return false;
  out = FromHead(sector);
  if (out.format != ContainerFormat::None) return true;
  // Every VHD ends in its footer; a dynamic one also starts with a copy, found above as raw
  // data would not be. 0: "conectix"; 0x3C: disk type, big-endian (2 fixed, 3 dynamic,
  // 4 differencing).
  const bool dynamicCopy = HasAt(sector, 0, "conectix");
  if (!source.ReadAt(source.Size() - kSector, sector)) return false;
  if (HasAt(sector, 0, "conectix")) {
    out = {ContainerFormat::Vhd, Be32(sector, 0x3C), !dynamicCopy && Be32(sector, 0x3C) == 2};
  } else if (dynamicCopy) {
    out = {ContainerFormat::Vhd, 0, false};
  }
  return true;
}

bool HasBitLockerSignature(base::Bytes sector) {
  return HasAt(sector, 3, "-FVE-FS-");  // 3: OEM name
}

std::string DescribeContainer(const Container& c) {
  switch (c.format) {
    case ContainerFormat::None:
      return "raw data";
    case ContainerFormat::Ewf:
      return c.version == 2 ? "an EWF2 (Ex01) disk image" : "an EWF (E01) disk image";
    case ContainerFormat::Vhd:
      return c.fixedVhd ? "a fixed VHD disk image" : "a VHD disk image";
    case ContainerFormat::Vhdx:
      return "a VHDX disk image";
    case ContainerFormat::Vmdk:
      return "a VMDK disk image";
    case ContainerFormat::Qcow:
      return c.version == 1 ? "a QCOW disk image" : "a QCOW2 disk image";
    case ContainerFormat::Vdi:
      return "a VDI disk image";
  }
  return "a disk image";
}

}  // namespace disk
