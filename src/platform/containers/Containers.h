#pragma once
// Disk-image containers read through the libraries made for them: EWF (libewf), VHD and
// VHDX (libvhdi), VMDK (libvmdk), QCOW (libqcow). Each becomes a byte source of its media
// data, read by the partition tables and the NTFS reader as a raw image is.
#include <cerrno>
#include <memory>
#include <string>

#include "base/ByteSource.h"
#include "base/Result.h"
#include "disk/ContainerSignature.h"

namespace morvel::containers {

// A container its library cannot open: the errno value the report shows (EIO unless a file is
// missing) and why, in the library's or our own words.
inline base::Result Unopened(std::string problem, int code = EIO) {
  return {base::Status::System, std::move(problem), code};
}

// Each opens the container at `path` into `out`; a failure is Unopened.
base::Result OpenEwf(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenVhdi(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenVmdk(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenQcow(const std::string& path, std::unique_ptr<base::ByteSource>& out);

// Whether this build reads the container's media data.
bool Readable(const disk::Container& container);

// Opens an image file or device into `out`: a container it recognises by its signature through
// the container's library, anything else as raw data. A failure carries an errno value and, for
// a container, what went wrong in the library's or our own words; `container`, when given,
// receives what the file was recognised as.
base::Result OpenImage(const std::string& path, std::unique_ptr<base::ByteSource>& out,
                       disk::Container* container = nullptr);

}  // namespace morvel::containers
