// VHD (fixed, dynamic, differencing) and VHDX through libvhdi.
#include <libvhdi.h>

#include "platform/containers/Chain.h"

namespace morvel::containers {
namespace {

using VhdiApi = LibyalApi<libvhdi_file_t, libvhdi_error_t, &libvhdi_file_initialize, &libvhdi_file_free,
                          &libvhdi_file_close, &libvhdi_file_get_media_size, &libvhdi_file_read_buffer_at_offset,
                          &libvhdi_error_backtrace_sprint, &libvhdi_error_free>;

struct VhdiTraits {
  using Api = VhdiApi;

  static base::Result Open(LibyalHandle<Api>& file, const std::string& path) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_open(file.get(), path.c_str(), LIBVHDI_OPEN_READ, &error) != 1)
      return Unopened(Api::TakeError(error));
    file.MarkOpened();
    return {};
  }

  static base::Result ParentName(libvhdi_file_t* file, std::string& name) {
    libvhdi_error_t* error = nullptr;
    std::uint32_t type = 0;
    if (libvhdi_file_get_disk_type(file, &type, &error) != 1) return Unopened(Api::TakeError(error));
    if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return {};
    base::Result read = ReadParentName<Api, libvhdi_file_t, &libvhdi_file_get_utf8_parent_filename_size,
                                       &libvhdi_file_get_utf8_parent_filename>(file, name);
    if (read.ok() && name.empty()) return Unopened("a differencing image that does not name its parent");
    return read;
  }

  static base::Result SetParent(libvhdi_file_t* child, libvhdi_file_t* parent) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_set_parent_file(child, parent, &error) == 1) return {};
    return Unopened(Api::TakeError(error));
  }
};

}  // namespace

base::Result OpenVhdi(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenWithParents<VhdiTraits>(path, out);
}

}  // namespace morvel::containers
