#pragma once
// The NTFS volume behind ntfs::Volume: file records by number through $MFT's runs, and the
// attributes of a file wherever its attribute list puts them.
#include <cstdint>
#include <functional>
#include <vector>

#include "ntfs/BootSector.h"
#include "ntfs/Record.h"
#include "ntfs/Stream.h"

namespace ntfs {

inline constexpr std::uint64_t kMftRecord = 0;
inline constexpr std::uint64_t kRootRecord = 5;
inline constexpr std::uint64_t kBitmapRecord = 6;
inline constexpr std::uint64_t kUpcaseRecord = 10;

class VolumeReader {
 public:
  VolumeReader(ByteSource& source, std::uint64_t offset, const BootSector& boot);

  // Reads $MFT's own record and the runs of its data, following an attribute list. $MFT must
  // fit in the volume.
  Result LoadMft();

  const BootSector& boot() const { return boot_; }
  const Stream& mft() const { return mft_; }
  Disk& disk() { return disk_; }

  // Reads and fixes up file record `number`.
  Result ReadRecord(std::uint64_t number, std::vector<std::uint8_t>& out);

  // Calls `visit` with every extent of the attribute (type, name) of a base record, in the
  // order its attribute list gives (or the record's own order); `count` says how many. List
  // entries of the attribute must rise in VCN, and the extension records read for them are
  // bounded in bytes, so that a hostile list costs no more than a long legitimate one.
  using Visitor = std::function<Result(const Attribute&)>;
  Result VisitAttribute(std::uint64_t base, std::uint32_t type, const char* name, const Visitor& visit, int& count);

  // The runs and sizes of a non-resident attribute; `found` is false when there is none.
  Result LoadStream(std::uint64_t base, std::uint32_t type, const char* name, Stream& out, bool& found);

  // The whole value of an attribute, resident or not, when it is at most `maxBytes` long.
  Result ReadValue(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes,
                   std::vector<std::uint8_t>& out, bool& found);
  // The same into page-aligned bytes, which a large value is read into fastest.
  Result ReadValue(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes, base::PageBytes& out,
                   bool& found);

 private:
  // An extension record of a file: its attributes, and those of one attribute by first VCN.
  struct Extension {
    std::uint64_t number = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<Attribute> attrs;
    std::vector<const Attribute*> extents;
  };

  Result VisitListed(std::uint64_t base, const Attribute& list, const std::vector<Attribute>& attrs, std::uint32_t type,
                     const char* name, const Visitor& visit, int& count);
  Result ReadExtension(std::uint64_t base, std::uint64_t number, std::uint32_t type, const char* name, Extension& out);
  Result ReadAttributeList(const Attribute& list, std::vector<std::uint8_t>& out);
  Result CheckSizes(const Stream& stream) const;
  template <class ByteVector>
  Result ReadValueInto(std::uint64_t base, std::uint32_t type, const char* name, std::size_t maxBytes, ByteVector& out,
                       bool& found);

  BootSector boot_;
  Disk disk_;
  Stream mft_;
};

// Streams $Bitmap past `observe` in chunks, in order, as the report's pass shows them to
// Volume::BitmapCounter: each chunk's first cluster, its bytes, and how many of their bits are
// clusters of the volume.
using BitmapObserver = std::function<void(std::uint64_t firstCluster, base::Bytes bytes, std::uint64_t clusters)>;
Result ReadBitmap(VolumeReader& reader, const BitmapObserver& observe);

}  // namespace ntfs
