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

  static bool Open(LibyalHandle<Api>& file, const std::string& path, std::string& problem) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_open(file.get(), path.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
      problem = Api::TakeError(error);
      return false;
    }
    file.MarkOpened();
    return true;
  }

  static int ParentName(libvhdi_file_t* file, std::string& name, std::string& problem) {
    libvhdi_error_t* error = nullptr;
    std::uint32_t type = 0;
    if (libvhdi_file_get_disk_type(file, &type, &error) != 1) {
      problem = Api::TakeError(error);
      return -1;
    }
    if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return 0;
    const int has = ReadParentName<Api, libvhdi_file_t, &libvhdi_file_get_utf8_parent_filename_size,
                                   &libvhdi_file_get_utf8_parent_filename>(file, name, problem);
    if (has == 0) problem = "a differencing image that does not name its parent";
    return has == 0 ? -1 : has;
  }

  static bool SetParent(libvhdi_file_t* child, libvhdi_file_t* parent, std::string& problem) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_set_parent_file(child, parent, &error) == 1) return true;
    problem = Api::TakeError(error);
    return false;
  }
};

}  // namespace

base::Result OpenVhdi(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenWithParents<VhdiTraits>(path, out);
}

}  // namespace morvel::containers
