// VMDK through libvmdk: a descriptor with its extent files, or a monolithic sparse extent.
#include <libvmdk.h>

#include <filesystem>

#include "platform/containers/Chain.h"

namespace morvel::containers {
namespace {

using VmdkApi = LibyalApi<libvmdk_handle_t, libvmdk_error_t, &libvmdk_handle_initialize, &libvmdk_handle_free,
                          &libvmdk_handle_close, &libvmdk_handle_get_media_size, &libvmdk_handle_read_buffer_at_offset,
                          &libvmdk_error_backtrace_sprint, &libvmdk_error_free>;

struct VmdkTraits {
  using Api = VmdkApi;

  static base::Result Open(LibyalHandle<Api>& handle, const std::string& path) {
    libvmdk_error_t* error = nullptr;
    if (libvmdk_handle_open(handle.get(), path.c_str(), LIBVMDK_OPEN_READ, &error) != 1)
      return Unopened(Api::TakeError(error));
    handle.MarkOpened();
    // A descriptor names its extent files relative to itself, not to the working directory.
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    if (libvmdk_handle_set_extent_data_files_path(handle.get(), folder.c_str(), folder.size(), &error) != 1 ||
        libvmdk_handle_open_extent_data_files(handle.get(), &error) != 1)
      return Unopened("its extent files: " + Api::TakeError(error));
    return {};
  }

  static base::Result ParentName(libvmdk_handle_t* handle, std::string& name) {
    return ReadParentName<Api, libvmdk_handle_t, &libvmdk_handle_get_utf8_parent_filename_size,
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
