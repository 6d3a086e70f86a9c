#include "core/binary/ExecutableImage.h"

#include <optional>
#include <vector>

#include "base/Bytes.h"

namespace morvel {
namespace {

using Bytes = std::span<const std::uint8_t>;

struct Section {
  std::uint32_t virtualAddress = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
};

struct PeLayout {
  std::size_t sectionTable = 0;
  std::uint16_t sectionCount = 0;
  std::uint32_t resourceRva = 0, resourceSize = 0;
};

ImageError ReadPeLayout(Bytes file, PeLayout& pe) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return ImageError::NotPe;
  const std::size_t header = base::Le32(file, 0x3C);  // 0x3C: e_lfanew, offset of "PE\0\0"
  if (!base::Fits(file.size(), header, 24)) return ImageError::NotPe;
  if (base::Le32(file, header) != 0x00004550u) return ImageError::NotPe;
  const std::size_t coff = header + 4;
  pe.sectionCount = base::Le16(file, coff + 2);                  // 2: NumberOfSections
  const std::size_t optionalSize = base::Le16(file, coff + 16);  // 16: SizeOfOptionalHeader
  const std::size_t optional = coff + 20;
  if (!base::Fits(file.size(), optional, optionalSize) || optionalSize < 2) return ImageError::BadHeader;
  const std::uint16_t magic = base::Le16(file, optional);  // 0: 0x10B PE32, 0x20B PE32+
  std::size_t countAt = 0;
  if (magic == 0x10B)
    countAt = 92;
  else if (magic == 0x20B)
    countAt = 108;
  else
    return ImageError::BadHeader;
  pe.sectionTable = optional + optionalSize;
  if (!base::Fits(file.size(), pe.sectionTable, std::size_t{pe.sectionCount} * 40)) return ImageError::BadHeader;
  // The data directories follow NumberOfRvaAndSizes; entry 2 is the resource table.
  const std::size_t resourceEntry = optional + countAt + 4 + 2 * 8;
  if (countAt + 4 > optionalSize || base::Le32(file, optional + countAt) < 3 || resourceEntry + 8 > pe.sectionTable)
    return ImageError::NoResources;
  pe.resourceRva = base::Le32(file, resourceEntry);       // 0: VirtualAddress
  pe.resourceSize = base::Le32(file, resourceEntry + 4);  // 4: Size
  if (pe.resourceRva == 0 || pe.resourceSize == 0) return ImageError::NoResources;
  return ImageError::None;
}

Section ReadSection(Bytes file, std::size_t at) {
  Section s;
  s.virtualSize = base::Le32(file, at + 8);      // 8: VirtualSize
  s.virtualAddress = base::Le32(file, at + 12);  // 12: VirtualAddress
  s.rawSize = base::Le32(file, at + 16);         // 16: SizeOfRawData
  s.rawOffset = base::Le32(file, at + 20);       // 20: PointerToRawData
  return s;
}

// The file bytes from `rva` to the end of the section holding it.
std::optional<Bytes> MapRva(Bytes file, const PeLayout& pe, std::uint32_t rva) {
  for (std::uint16_t i = 0; i < pe.sectionCount; ++i) {
    const Section s = ReadSection(file, pe.sectionTable + std::size_t{i} * 40);
    if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
    const std::size_t delta = rva - s.virtualAddress;
    if (!base::Fits(file.size(), s.rawOffset, s.rawSize)) return std::nullopt;
    return file.subspan(s.rawOffset + delta, s.rawSize - delta);
  }
  return std::nullopt;
}

struct DirectoryEntry {
  std::uint32_t name = 0;    // an id, or bit 31 set for a named entry
  std::uint32_t target = 0;  // bit 31 set: a subdirectory; else a data entry
};

// The entries of the resource directory at `offset`; false when it runs past the section.
bool ReadDirectory(Bytes rsrc, std::size_t offset, std::vector<DirectoryEntry>& entries) {
  if (!base::Fits(rsrc.size(), offset, 16)) return false;
  const std::size_t count = std::size_t{base::Le16(rsrc, offset + 12)} + base::Le16(rsrc, offset + 14);  // named + ids
  if (!base::Fits(rsrc.size(), offset + 16, count * 8)) return false;
  entries.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = offset + 16 + i * 8;
    entries.push_back({base::Le32(rsrc, at), base::Le32(rsrc, at + 4)});
  }
  return true;
}

constexpr std::uint32_t kHighBit = 0x80000000u;

// The entry with `id` when there is one, else the first entry of the wanted kind.
const DirectoryEntry* Pick(const std::vector<DirectoryEntry>& entries, std::optional<std::uint32_t> id,
                           bool subdirectory) {
  const DirectoryEntry* first = nullptr;
  for (const auto& e : entries) {
    if (((e.target & kHighBit) != 0) != subdirectory) continue;
    if (id && e.name == *id) return &e;
    if (!first) first = &e;
  }
  return first;
}

}  // namespace

ImageError FindPeResource(Bytes file, std::uint16_t resourceType, ImageResource& resource) {
  PeLayout pe;
  if (const auto error = ReadPeLayout(file, pe); error != ImageError::None) return error;
  const auto rsrc = MapRva(file, pe, pe.resourceRva);
  if (!rsrc) return ImageError::NoResources;
  std::vector<DirectoryEntry> entries;
  // Three levels: type, name, language.
  if (!ReadDirectory(*rsrc, 0, entries)) return ImageError::BadResourceDirectory;
  const DirectoryEntry* type = nullptr;
  for (const auto& e : entries)
    if (e.name == resourceType && (e.target & kHighBit)) type = &e;
  if (!type) return ImageError::NoSuchResource;
  if (!ReadDirectory(*rsrc, type->target & ~kHighBit, entries)) return ImageError::BadResourceDirectory;
  const DirectoryEntry* name = Pick(entries, 1u, true);
  if (!name) return ImageError::NoSuchResource;
  if (!ReadDirectory(*rsrc, name->target & ~kHighBit, entries)) return ImageError::BadResourceDirectory;
  const DirectoryEntry* language = Pick(entries, std::nullopt, false);
  if (!language) return ImageError::NoSuchResource;
  const std::size_t dataEntry = language->target;
  if (!base::Fits(rsrc->size(), dataEntry, 16)) return ImageError::BadResourceDirectory;
  const std::uint32_t dataRva = base::Le32(*rsrc, dataEntry);       // 0: OffsetToData, an RVA
  const std::uint32_t dataSize = base::Le32(*rsrc, dataEntry + 4);  // 4: Size
  const auto data = MapRva(file, pe, dataRva);
  if (!data || data->size() < dataSize) return ImageError::BadResourceDirectory;
  resource.bytes = data->first(dataSize);
  resource.language = static_cast<std::uint16_t>(language->name);
  return ImageError::None;
}

ImageError FindPeVersionResource(Bytes file, ImageResource& resource) {
  const ImageError error = FindPeResource(file, kResourceTypeVersion, resource);
  return error == ImageError::NoSuchResource ? ImageError::NoVersionResource : error;
}

}  // namespace morvel
