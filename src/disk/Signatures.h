#pragma once
// What a source holds when it holds no NTFS volume, told by the signatures other file systems,
// encrypted volumes and disk images leave at known offsets: the build without libblkid names
// them from this table.
#include <string>

#include "base/ByteSource.h"

namespace disk {

// What a volume or whole disk holds, told by the signatures at known offsets: the text a
// report shows beside "no NTFS volume". Reads a bounded amount (a few KiB and, for the
// all-zeros check, at most the first 1 MiB) whatever the source's size. Empty when nothing
// is recognised and the data is not all zeros, or when the source cannot be read.
std::string DescribeSignature(base::ByteSource& source);

}  // namespace disk
