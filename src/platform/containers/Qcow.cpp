// QCOW (versions 1 to 3) through libqcow; backing files are opened as parents.
#include <libqcow.h>

#include "platform/containers/Chain.h"

namespace morvel::containers {
namespace {

using QcowApi = LibyalApi<libqcow_file_t, libqcow_error_t, &libqcow_file_initialize, &libqcow_file_free,
                          &libqcow_file_close, &libqcow_file_get_media_size, &libqcow_file_read_buffer_at_offset,
                          &libqcow_error_backtrace_sprint, &libqcow_error_free>;

struct QcowTraits {
  using Api = QcowApi;

  static base::Result Open(LibyalHandle<Api>& file, const std::string& path) {
    libqcow_error_t* error = nullptr;
    if (libqcow_file_open(file.get(), path.c_str(), LIBQCOW_OPEN_READ, &error) != 1)
      return Unopened(Api::TakeError(error));
    file.MarkOpened();
    // An encrypted image reads as noise without its key, which a report has no way to take.
    if (libqcow_file_is_locked(file.get(), &error) != 0)
      return Unopened(error != nullptr ? Api::TakeError(error) : "an encrypted image, which this build cannot read");
    return {};
  }

  // libqcow reads a version 1 image through its backing file wrongly (it takes the backing
  // file's header for a cluster's offset); qemu-img reads it. Refused rather than misread.
  static base::Result ParentName(libqcow_file_t* file, std::string& name) {
    base::Result read = ReadName<Api, libqcow_file_t, &libqcow_file_get_utf8_backing_filename_size,
                                 &libqcow_file_get_utf8_backing_filename>(file, name);
    if (!read.ok() || name.empty()) return read;
    libqcow_error_t* error = nullptr;
    std::uint32_t version = 0;
    if (libqcow_file_get_format_version(file, &version, &error) != 1) return Unopened(Api::TakeError(error));
    if (version == 1) return Unopened("a version 1 image with a backing file, which this build cannot read", ENOTSUP);
    return {};
  }

  static base::Result SetParent(libqcow_file_t* child, libqcow_file_t* parent) {
    libqcow_error_t* error = nullptr;
    if (libqcow_file_set_parent_file(child, parent, &error) == 1) return {};
    return Unopened(Api::TakeError(error));
  }
};

}  // namespace

base::Result OpenQcow(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  return OpenWithParents<QcowTraits>(path, out);
}

}  // namespace morvel::containers
