// VMDK through libvmdk: a descriptor with its extent files, or a monolithic sparse extent.
// The extent files are opened here, into a libbfio pool that libvmdk reads through, rather
// than by libvmdk from the names its descriptor records: each is checked before it is opened
// (a FIFO would block the open forever), and a sparse extent that carries its own descriptor
// is its own extent whatever name that descriptor records (the file may have been renamed).
#include <libbfio.h>
#include <libvmdk.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "platform/containers/Chain.h"
#include "platform/posix/PosixFile.h"

namespace morvel::containers {
namespace {

using VmdkApi = LibyalApi<libvmdk_handle_t, libvmdk_error_t, &libvmdk_handle_initialize, &libvmdk_handle_free,
                          &libvmdk_handle_close, &libvmdk_handle_get_media_size, &libvmdk_handle_read_buffer_at_offset,
                          &libvmdk_error_backtrace_sprint, &libvmdk_error_free>;

// Whether the file at `path` is a sparse extent ("KDMV", or ESX "COWD"), whose descriptor is
// embedded in it, rather than a text descriptor.
bool IsSparseExtent(const std::string& path) {
  std::unique_ptr<base::ByteSource> file;
  std::array<std::uint8_t, 4> magic{};
  return OpenFdSource(path, file).ok() && file->Size() >= magic.size() && file->ReadAt(0, magic) &&
         (std::memcmp(magic.data(), "KDMV", 4) == 0 || std::memcmp(magic.data(), "COWD", 4) == 0);
}

// Where extent `index` of the image at `path` lies; empty for an extent with no file (zero).
base::Result ExtentFile(libvmdk_handle_t* handle, int index, const std::string& path, bool selfContained,
                        std::string& file) {
  file.clear();
  libvmdk_extent_descriptor_t* extent = nullptr;
  libvmdk_error_t* error = nullptr;
  if (libvmdk_handle_get_extent_descriptor(handle, index, &extent, &error) != 1)
    return Unopened(VmdkApi::TakeError(error));
  int type = 0;
  std::string name;
  base::Result read;
  if (libvmdk_extent_descriptor_get_type(extent, &type, &error) != 1) {
    read = Unopened(VmdkApi::TakeError(error));
  } else {
    read = ReadName<VmdkApi, libvmdk_extent_descriptor_t, &libvmdk_extent_descriptor_get_utf8_filename_size,
                    &libvmdk_extent_descriptor_get_utf8_filename>(extent, name);
  }
  libvmdk_extent_descriptor_free(&extent, nullptr);
  if (!read.ok() || type == LIBVMDK_EXTENT_TYPE_ZERO) return read;
  if (selfContained) {
    file = path;
    return {};
  }
  if (name.empty()) return Unopened("its descriptor names no file for extent " + std::to_string(index + 1));
  if (base::Result located = Locate(path, name, "its extent file", file); !located.ok()) return located;
  if (file.empty()) return Unopened("its extent file \"" + name + "\" is not beside it", ENOENT);
  return {};
}

struct PoolDeleter {
  void operator()(libbfio_pool_t* pool) const {
    libbfio_pool_close_all(pool, nullptr);
    libbfio_pool_free(&pool, nullptr);
  }
};

// Opens the extent files of the image at `path` into a pool for libvmdk, in its extents' order.
base::Result OpenExtents(libvmdk_handle_t* handle, const std::string& path, std::shared_ptr<libbfio_pool_t>& out) {
  libvmdk_error_t* error = nullptr;
  int count = 0;
  if (libvmdk_handle_get_number_of_extents(handle, &count, &error) != 1) return Unopened(VmdkApi::TakeError(error));
  libbfio_pool_t* made = nullptr;
  if (count <= 0 || libbfio_pool_initialize(&made, count, LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES, nullptr) != 1)
    return Unopened("its descriptor names no extents");
  std::shared_ptr<libbfio_pool_t> pool(made, PoolDeleter{});
  const bool selfContained = count == 1 && IsSparseExtent(path);
  for (int i = 0; i < count; ++i) {
    std::string file;
    if (base::Result found = ExtentFile(handle, i, path, selfContained, file); !found.ok()) return found;
    if (file.empty()) continue;
    libbfio_handle_t* extent = nullptr;
    if (libbfio_file_initialize(&extent, nullptr) != 1) return Unopened("out of memory", ENOMEM);
    if (libbfio_file_set_name(extent, file.c_str(), file.size() + 1, nullptr) != 1 ||
        libbfio_handle_open(extent, LIBBFIO_OPEN_READ, nullptr) != 1 ||
        libbfio_pool_set_handle(made, i, extent, LIBBFIO_OPEN_READ, nullptr) != 1) {
      libbfio_handle_free(&extent, nullptr);
      return Unopened("its extent file \"" + file + "\" cannot be opened");
    }
  }
  out = std::move(pool);
  return {};
}

struct VmdkTraits {
  using Api = VmdkApi;

  static base::Result Open(LibyalHandle<Api>& handle, const std::string& path) {
    libvmdk_error_t* error = nullptr;
    if (libvmdk_handle_open(handle.get(), path.c_str(), LIBVMDK_OPEN_READ, &error) != 1)
      return Unopened(Api::TakeError(error));
    handle.MarkOpened();
    std::shared_ptr<libbfio_pool_t> extents;
    if (base::Result opened = OpenExtents(handle.get(), path, extents); !opened.ok()) return opened;
    if (libvmdk_handle_open_extent_data_files_file_io_pool(handle.get(), extents.get(), &error) != 1)
      return Unopened("its extent files: " + Api::TakeError(error));
    handle.Keep(std::move(extents));
    return {};
  }

  static base::Result ParentName(libvmdk_handle_t* handle, std::string& name) {
    return ReadName<Api, libvmdk_handle_t, &libvmdk_handle_get_utf8_parent_filename_size,
                    &libvmdk_handle_get_utf8_parent_filename>(handle, name);
  }

  static base::Result SetParent(libvmdk_handle_t* child, libvmdk_handle_t* parent) {
    libvmdk_error_t* error = nullptr;
    if (libvmdk_handle_set_parent_handle(child, parent, &error) == 1) return {};
    return Unopened(Api::TakeError(error));
  }
};

}  // namespace

base::Result OpenVmdk(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenWithParents<VmdkTraits>(path, out);
}

}  // namespace morvel::containers
