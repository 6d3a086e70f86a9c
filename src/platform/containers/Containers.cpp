#include "platform/containers/Containers.h"

#include <filesystem>

#include "platform/containers/Chain.h"
#include "platform/posix/PosixFile.h"

namespace morvel::containers {
namespace {

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

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

std::string FindParent(const std::string& childPath, const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(childPath).parent_path();
  const std::filesystem::path given(name);
  const std::filesystem::path asGiven = given.is_absolute() ? given : folder / given;
  if (IsRegularFile(asGiven)) return asGiven.string();
  // A name recorded on Windows separates its folders with backslashes.
  const std::size_t cut = name.find_last_of("/\\");
  const std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
  if (last.empty() || last == "." || last == "..") return {};
  return IsRegularFile(folder / last) ? (folder / last).string() : std::string();
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
  return opener(path, out);
}

}  // namespace morvel::containers
