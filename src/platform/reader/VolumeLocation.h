#pragma once
// Where the NTFS volume of a device or image file lies: the whole source for a bare volume,
// one partition of it for a whole disk.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Result.h"
#include "ntfs/Ntfs.h"

namespace morvel {

// A window [offset, offset + length) of another source, so a volume never reads past its
// partition.
class SliceByteSource final : public base::ByteSource {
 public:
  SliceByteSource(base::ByteSource& whole, std::uint64_t offset, std::uint64_t length)
      : whole_(whole), offset_(offset), length_(length) {}
  std::uint64_t Size() const override { return length_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  bool ReadChunks(std::uint64_t offset, std::uint64_t length, std::size_t chunkSize,
                  const ChunkConsumer& consume) override;
  void WillRead(std::uint64_t offset, std::uint64_t length) override {
    if (offset <= length_ && length <= length_ - offset) whole_.WillRead(offset_ + offset, length);
  }

 private:
  base::ByteSource& whole_;
  std::uint64_t offset_;
  std::uint64_t length_;
};

// 0: the source itself when it starts with an NTFS boot sector, else its first partition
// that looks like NTFS. N > 0: partition N of the source's partition table.
struct PartitionChoice {
  int number = 0;
};

struct VolumeExtent {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Finds the volume's extent in `source`. Fails with the errno value the report shows: EIO when
// the source cannot be read, ENXIO when the chosen partition does not exist (the reason then
// says which partitions there are). A whole disk without an NTFS partition yields the whole
// source, which the volume query then rejects as not NTFS. `warnings`, when given, receives what
// the partition table had damaged and how it was read all the same.
base::Result LocateVolume(base::ByteSource& source, PartitionChoice choice, VolumeExtent& extent,
                          std::vector<std::string>* warnings = nullptr);

}  // namespace morvel
