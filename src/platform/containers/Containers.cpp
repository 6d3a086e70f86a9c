#include "platform/containers/Containers.h"

#include <filesystem>
#include <system_error>

#include "platform/containers/Chain.h"
#include "platform/posix/PosixFile.h"

namespace morvel::containers {
namespace {

using Opener = base::Result (*)(const std::string&, std::unique_ptr<base::ByteSource>&);

Opener OpenerFor(disk::ContainerFormat format) {
  switch (format) {
    case disk::ContainerFormat::Ewf:
      return &OpenEwf;
    case disk::ContainerFormat::Vhd:
    case disk::ContainerFormat::Vhdx:
      return &OpenVhdi;
    case disk::ContainerFormat::Vmdk:
      return &OpenVmdk;
    case disk::ContainerFormat::Qcow:
      return &OpenQcow;
    case disk::ContainerFormat::None:
    case disk::ContainerFormat::Vdi:
      break;
  }
  return nullptr;
}

}  // namespace

base::Result CheckOpenable(const std::string& path, const std::string& what) {
  UniqueFd fd;
  const base::Result opened = OpenFileOrBlockDevice(path, fd);
  if (opened.ok()) return {};
  switch (opened.code()) {
    case ENOENT:
      return Unopened(what + " is missing", ENOENT);
    case ENOTBLK:
    case EISDIR:
      return Unopened(what + " is " + kNotFileOrBlockDeviceText, ENOTBLK);
    default:
      return Unopened(what + ": " + std::generic_category().message(opened.code()), opened.code());
  }
}

base::Result Locate(const std::string& imagePath, const std::string& name, const std::string& what,
                    std::string& found) {
  found.clear();
  const std::filesystem::path folder = std::filesystem::path(imagePath).parent_path();
  const std::filesystem::path given(name);
  std::filesystem::path place = given.is_absolute() ? given : folder / given;
  std::error_code ec;
  if (!std::filesystem::exists(place, ec)) {
    // A name recorded on Windows separates its folders with backslashes.
    const std::size_t cut = name.find_last_of("/\\");
    const std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
    if (last.empty() || last == "." || last == "..") return {};
    place = folder / last;
    if (!std::filesystem::exists(place, ec)) return {};
  }
  found = place.string();
  return CheckOpenable(found, what + " \"" + found + "\"");
}

bool Readable(const disk::Container& container) {
  return container.format == disk::ContainerFormat::None || OpenerFor(container.format) != nullptr;
}

base::Result OpenImage(const std::string& path, std::unique_ptr<base::ByteSource>& out, disk::Container* container) {
  if (base::Result opened = OpenFdSource(path, out); !opened.ok()) return opened;
  disk::Container found;
  // An unreadable first or last sector is left to the reader, which reports it as a read error.
  if (!disk::RecogniseContainer(*out, found)) return {};
  if (container != nullptr) *container = found;
  const Opener opener = OpenerFor(found.format);
  if (opener == nullptr) return {};  // raw data, or a container this build reads no further
  out.reset();
  // The files a container names (segments, extents, parents) lie beside the file itself, not
  // beside a link to it (a drive letter's).
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return opener(path, out);
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  return opener(ec ? path : real.string(), out);
}

}  // namespace morvel::containers
