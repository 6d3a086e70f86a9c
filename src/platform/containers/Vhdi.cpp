// VHD (fixed, dynamic, differencing) and VHDX through libvhdi.
#include <libvhdi.h>

#include <algorithm>
#include <array>
#include <vector>

#include "base/Bytes.h"
#include "platform/containers/Chain.h"
#include "platform/posix/PosixFile.h"

namespace morvel::containers {
namespace {

using VhdiApi = LibyalApi<libvhdi_file_t, libvhdi_error_t, &libvhdi_file_initialize, &libvhdi_file_free,
                          &libvhdi_file_close, &libvhdi_file_get_media_size, &libvhdi_file_read_buffer_at_offset,
                          &libvhdi_error_backtrace_sprint, &libvhdi_error_free>;

using Guid = std::array<std::uint8_t, 16>;  // as stored: the first three fields little-endian

// 2DC27766-F623-4200-9D64-115E9BFD4A08, 8B7CA206-4790-4B9A-B8FE-575F050F886E,
// CAA16737-FA36-4D43-B3B6-33F0AA44E76B
constexpr Guid kBatRegion = {0x66, 0x77, 0xC2, 0x2D, 0x23, 0xF6, 0x00, 0x42,
                             0x9D, 0x64, 0x11, 0x5E, 0x9B, 0xFD, 0x4A, 0x08};
constexpr Guid kMetadataRegion = {0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B,
                                  0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E};
constexpr Guid kFileParameters = {0x37, 0x67, 0xA1, 0xCA, 0x36, 0xFA, 0x43, 0x4D,
                                  0xB3, 0xB6, 0x33, 0xF0, 0xAA, 0x44, 0xE7, 0x6B};

// Where the first of `count` entries of 32 bytes from `first` whose identifier is `guid` lies in
// `table`; 0 when none is.
std::size_t EntryOf(base::Bytes table, std::size_t first, std::size_t count, const Guid& guid) {
  for (std::size_t i = 0, at = first; i < count && base::Fits(table.size(), at, 32); ++i, at += 32) {
    if (std::ranges::equal(table.subspan(at, guid.size()), guid)) return at;
  }
  return 0;
}

constexpr const char* kNoSectorBitmap =
    "a differencing image with blocks that have no sector bitmap, which this build cannot read";

// libvhdi reads the sector bitmap of a differencing VHDX's block wherever its chunk's bitmap
// entry points, also when the entry says there is none (SB_BLOCK_NOT_PRESENT, its offset then
// undefined): the bits it finds there send reads that belong to the parent to the image's own
// first bytes. Only a block held whole (PAYLOAD_BLOCK_FULLY_PRESENT) is read without the bitmap.
// Such images are refused. The layout: the region table at 192 KiB ("regi"; 8 its entry count;
// entries of 32 bytes from 16: identifier, 16 offset LE64) locates the block allocation table
// and the metadata ("metadata"; 10 its entry count, LE16; entries of 32 bytes from 32:
// identifier, 16 offset LE32 in the region), whose file parameters hold the block size (LE32).
// The table interleaves each chunk's payload entries with its bitmap entry after them; an
// entry's state is its low three bits.
base::Result CheckSectorBitmaps(const std::string& path, libvhdi_file_t* file) {
  constexpr std::uint64_t kRegionTable = 192 << 10;
  constexpr std::size_t kTable = 64 << 10;  // the region table's and the metadata table's size
  constexpr std::uint64_t kPresent = 6;     // PAYLOAD_BLOCK_FULLY_PRESENT, SB_BLOCK_PRESENT
  libvhdi_error_t* error = nullptr;
  std::uint64_t mediaSize = 0;
  std::uint32_t sectorSize = 0;
  if (libvhdi_file_get_media_size(file, &mediaSize, &error) != 1 ||
      libvhdi_file_get_bytes_per_sector(file, &sectorSize, &error) != 1)
    return Unopened(VhdiApi::TakeError(error));
  const base::Result unreadable = Unopened("its block allocation table cannot be read");
  std::unique_ptr<base::ByteSource> source;
  std::vector<std::uint8_t> table(kTable);
  if (!OpenFdSource(path, source).ok() || !base::Fits(source->Size(), kRegionTable, kTable) ||
      !source->ReadAt(kRegionTable, table))
    return unreadable;
  const std::size_t batEntry = EntryOf(table, 16, base::Le32(table, 8), kBatRegion);
  const std::size_t metadataEntry = EntryOf(table, 16, base::Le32(table, 8), kMetadataRegion);
  if (batEntry == 0 || metadataEntry == 0) return unreadable;
  const std::uint64_t bat = base::Le64(table, batEntry + 16);
  const std::uint64_t metadata = base::Le64(table, metadataEntry + 16);
  if (!base::Fits(source->Size(), metadata, kTable) || !source->ReadAt(metadata, table)) return unreadable;
  const std::size_t parameters = EntryOf(table, 32, base::Le16(table, 10), kFileParameters);
  std::array<std::uint8_t, 4> blockSize{};
  if (parameters == 0 || !source->ReadAt(metadata + base::Le32(table, parameters + 16), blockSize) ||
      base::Le32(blockSize, 0) == 0 || sectorSize == 0)
    return unreadable;
  const std::uint64_t block = base::Le32(blockSize, 0);
  const std::uint64_t ratio = (std::uint64_t{1} << 23) * sectorSize / block;  // payload blocks a chunk
  const std::uint64_t blocks = (mediaSize + block - 1) / block;
  std::vector<std::uint8_t> chunk;
  for (std::uint64_t first = 0; ratio > 0 && first < blocks; first += ratio) {
    const std::uint64_t inChunk = std::min(ratio, blocks - first);
    chunk.resize(static_cast<std::size_t>((ratio + 1) * 8));
    const std::uint64_t at = bat + first / ratio * (ratio + 1) * 8;
    if (!base::Fits(source->Size(), at, chunk.size()) || !source->ReadAt(at, chunk)) return unreadable;
    if ((base::Le64(chunk, static_cast<std::size_t>(ratio * 8)) & 7) == kPresent) continue;
    for (std::size_t i = 0; i < inChunk; ++i) {
      if ((base::Le64(chunk, i * 8) & 7) != kPresent) return Unopened(kNoSectorBitmap, ENOTSUP);
    }
  }
  return {};
}

struct VhdiTraits {
  using Api = VhdiApi;

  static base::Result Open(LibyalHandle<Api>& file, const std::string& path) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_open(file.get(), path.c_str(), LIBVHDI_OPEN_READ, &error) != 1)
      return Unopened(Api::TakeError(error));
    file.MarkOpened();
    int type = 0;
    std::uint32_t disk = 0;
    if (libvhdi_file_get_file_type(file.get(), &type, &error) != 1 ||
        libvhdi_file_get_disk_type(file.get(), &disk, &error) != 1)
      return Unopened(Api::TakeError(error));
    if (type == LIBVHDI_FILE_TYPE_VHDX && disk == LIBVHDI_DISK_TYPE_DIFFERENTIAL)
      return CheckSectorBitmaps(path, file.get());
    return {};
  }

  static base::Result ParentName(libvhdi_file_t* file, std::string& name) {
    libvhdi_error_t* error = nullptr;
    std::uint32_t type = 0;
    if (libvhdi_file_get_disk_type(file, &type, &error) != 1) return Unopened(Api::TakeError(error));
    if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return {};
    base::Result read = ReadName<Api, libvhdi_file_t, &libvhdi_file_get_utf8_parent_filename_size,
                                 &libvhdi_file_get_utf8_parent_filename>(file, name);
    if (read.ok() && name.empty()) return Unopened("a differencing image that does not name its parent");
    return read;
  }

  static base::Result SetParent(libvhdi_file_t* child, libvhdi_file_t* parent) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_set_parent_file(child, parent, &error) == 1) return {};
    return Unopened(Api::TakeError(error));
  }
};

}  // namespace

base::Result OpenVhdi(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenWithParents<VhdiTraits>(path, out);
}

}  // namespace morvel::containers
