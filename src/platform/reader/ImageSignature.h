#pragma once
// What a build without libblkid can say of a source the report found no NTFS in.
#include <string>

#include "base/ByteSource.h"

namespace morvel {

// The container its signature names (which this build cannot read), or what the signatures
// where partition `partition` (0: the volume the report looked at) lies say: a file system, an
// encrypted volume, zeros. Empty when there is nothing to add.
std::string DescribeImageSignature(base::ByteSource& source, int partition);
// The same for a source that may not have been opened (null): nothing to add then.
std::string DescribeImageSignature(base::ByteSource* source, int partition);

// Whether `source` is itself a volume or disk image (a boot sector, a partition table or a
// container's signature at its start, or a fixed VHD's footer at its end) rather than some file
// stored on a volume.
bool HoldsImage(base::ByteSource& source);

}  // namespace morvel
