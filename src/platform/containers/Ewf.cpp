// EWF evidence files (E01, Ex01, S01, ...) through libewf: the first segment names the set,
// and libewf finds the others by the naming scheme.
#include <libewf.h>

#include "platform/containers/Containers.h"
#include "platform/containers/Libyal.h"

namespace morvel::containers {
namespace {

using EwfApi =
    LibyalApi<libewf_handle_t, libewf_error_t, &libewf_handle_initialize, &libewf_handle_free, &libewf_handle_close,
              &libewf_handle_get_media_size, &libewf_handle_read_random, &libewf_error_sprint, &libewf_error_free>;

// The segment file names of one set, owned.
class SegmentNames {
 public:
  SegmentNames() = default;
  SegmentNames(const SegmentNames&) = delete;
  SegmentNames& operator=(const SegmentNames&) = delete;
  ~SegmentNames() {
    if (names_ != nullptr) libewf_glob_free(names_, count_, nullptr);
  }

  bool Glob(const std::string& first, std::string& problem) {
    libewf_error_t* error = nullptr;
    if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &names_, &count_, &error) == 1) return true;
    problem = "its segment files: " + EwfApi::TakeError(error);
    return false;
  }
  char** names() const { return names_; }
  int count() const { return count_; }

 private:
  char** names_ = nullptr;
  int count_ = 0;
};

}  // namespace

std::unique_ptr<base::ByteSource> OpenEwf(const std::string& path, OpenFailure& failure) {
  SegmentNames segments;
  if (!segments.Glob(path, failure.problem)) return nullptr;
  auto handle = std::make_unique<LibyalHandle<EwfApi>>();
  if (!handle->Initialize(failure.problem)) return nullptr;
  libewf_error_t* error = nullptr;
  if (libewf_handle_open(handle->get(), segments.names(), segments.count(), LIBEWF_OPEN_READ, &error) != 1) {
    failure.problem = EwfApi::TakeError(error);
    return nullptr;
  }
  handle->MarkOpened();
  std::uint64_t size = 0;
  if (!handle->MediaSize(size, failure.problem)) return nullptr;
  return std::make_unique<LibyalSource<EwfApi>>(std::move(handle), std::vector<std::unique_ptr<LibyalHandle<EwfApi>>>{},
                                                size);
}

}  // namespace morvel::containers
