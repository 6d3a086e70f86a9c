#pragma once
// What a build without libblkid can say of a source the report found no NTFS in.
#include <string>

#include "base/ByteSource.h"

namespace morvel {

// The container its signature names (which this build cannot read), or a BitLocker-encrypted
// volume where partition `partition` (0: the volume the report looked at) lies. Empty when
// there is nothing to add.
std::string DescribeImageSignature(base::ByteSource& source, int partition);

}  // namespace morvel
