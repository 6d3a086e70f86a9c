#pragma once
// Disk-image containers read through the libraries made for them: EWF (libewf), VHD and
// VHDX (libvhdi), VMDK (libvmdk), QCOW (libqcow). Each becomes a byte source of its media
// data, read by the partition tables and the NTFS reader as a raw image is.
#include <cerrno>
#include <memory>
#include <string>

#include "base/ByteSource.h"
#include "disk/ContainerSignature.h"

namespace morvel::containers {

struct OpenFailure {
  int error = EIO;      // the errno value the report shows (EIO unless a file is missing)
  std::string problem;  // why, in the library's or our own words
};

std::unique_ptr<base::ByteSource> OpenEwf(const std::string& path, OpenFailure& failure);
std::unique_ptr<base::ByteSource> OpenVhdi(const std::string& path, OpenFailure& failure);
std::unique_ptr<base::ByteSource> OpenVmdk(const std::string& path, OpenFailure& failure);
std::unique_ptr<base::ByteSource> OpenQcow(const std::string& path, OpenFailure& failure);

// Whether this build reads the container's media data.
bool Readable(const disk::Container& container);

// Opens an image file or device: a container it recognises by its signature through the
// container's library, anything else as raw data. On failure returns null with an errno
// value in `error`; `problem`, when given, then says what went wrong beyond it, and
// `container`, when given, receives what the file was recognised as.
std::unique_ptr<base::ByteSource> OpenImage(const std::string& path, int& error, std::string* problem = nullptr,
                                            disk::Container* container = nullptr);

}  // namespace morvel::containers
