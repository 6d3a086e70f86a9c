#pragma once
// What a target holds when the report finds no NTFS volume in it, named with libblkid: a
// file system, an encrypted volume, a whole disk's partitions, zeros. The reader's verdict
// stays the report's; this is the word beside it.
#include <string>

#include "base/ByteSource.h"

namespace morvel::containers {

// What `source` holds: partition `partition` of it, or (0) the volume or whole disk the report
// looked at. Reads a bounded amount whatever the size.
std::string DescribeContents(base::ByteSource& source, int partition);

// The same for the image file or device at `path`, opened as the report opens it; names a
// container that cannot be opened and why, or that this build cannot read. Empty when the
// file itself cannot be opened: the report's line already says why.
std::string DescribeTarget(const std::string& path, int partition);

}  // namespace morvel::containers
