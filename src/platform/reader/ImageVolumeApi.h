#pragma once
// The volume operations over one device or image file, on every platform: each drive letter
// names that file, so the core's query and listing read it unchanged.
#include <functional>
#include <memory>
#include <string>

#include "core/report/VolumeApi.h"
#include "platform/reader/VolumeLocation.h"

namespace morvel {

// Opens the file at a path as the bytes the reader sees: raw, or a container's media data.
// On failure returns null with an errno value in its second argument.
using ImageOpener = std::function<std::unique_ptr<base::ByteSource>(const std::string&, int&)>;

// Reads the file as raw data unless `opener` is given.
std::unique_ptr<VolumeApi> MakeImageVolumeApi(const std::string& path, PartitionChoice choice,
                                              ImageOpener opener = nullptr);

// What a build without the container libraries can say of the file at `path`, which the
// report found no NTFS in: the container its signature names, or a BitLocker-encrypted
// volume. Empty when there is nothing to add.
std::string DescribeImageSignature(const std::string& path, int partition);

}  // namespace morvel
