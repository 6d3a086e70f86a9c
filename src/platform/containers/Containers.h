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

// Whether a library may open the file at `path` by its name: a regular file or a block device,
// told as the target itself is (open with O_NONBLOCK, then fstat), and closed again. Every file a
// library opens by name (segments, extents, parents) is checked so first: its own open() of a
// FIFO would wait for a writer forever. A failure names the file as `what` ("its segment
// \"img.E02\""): missing (ENOENT), no file or block device (ENOTBLK), or the system's word.
base::Result CheckOpenable(const std::string& path, const std::string& what);

// Each opens the container at `path` into `out`; a failure is Unopened.
base::Result OpenEwf(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenVhdi(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenVmdk(const std::string& path, std::unique_ptr<base::ByteSource>& out);
base::Result OpenQcow(const std::string& path, std::unique_ptr<base::ByteSource>& out);

// Where reads of `source`, opened by OpenEwf, met data that libewf could not read or whose
// checksum failed: "its data at bytes 0x0 to 0x7FFF fails its checksum"; empty for another
// source, or when none was met.
std::string DescribeDamage(base::ByteSource& source);

// Whether this build reads the container's media data.
bool Readable(const disk::Container& container);

// Opens an image file or device into `out`: a container it recognises by its signature through
// the container's library, anything else as raw data. A failure carries an errno value and, for
// a container, what went wrong in the library's or our own words; `container`, when given,
// receives what the file was recognised as.
base::Result OpenImage(const std::string& path, std::unique_ptr<base::ByteSource>& out,
                       disk::Container* container = nullptr);

}  // namespace morvel::containers
