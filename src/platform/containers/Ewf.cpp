// EWF evidence files (E01, Ex01, S01, ...) through libewf: the first segment names the set,
// and libewf finds the others by the naming scheme.
#include <libewf.h>

#include "platform/containers/Containers.h"
#include "platform/containers/Libyal.h"

namespace morvel::containers {
namespace {

using EwfApi = LibyalApi<libewf_handle_t, libewf_error_t, &libewf_handle_initialize, &libewf_handle_free,
                         &libewf_handle_close, &libewf_handle_get_media_size, &libewf_handle_read_random,
                         &libewf_error_backtrace_sprint, &libewf_error_free>;

// The segment file names of one set, owned.
class SegmentNames {
 public:
  SegmentNames() = default;
  SegmentNames(const SegmentNames&) = delete;
  SegmentNames& operator=(const SegmentNames&) = delete;
  ~SegmentNames() {
    if (names_ != nullptr) libewf_glob_free(names_, count_, nullptr);
  }

  // The set `first` starts. A name outside the naming scheme (no .E01, .Ex01, .s01, ...)
  // cannot name further segments: the file is then taken as the whole set.
  void Glob(const std::string& first) {
    if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &names_, &count_, nullptr) == 1) return;
    names_ = nullptr;
    count_ = 0;
  }
  char** names() const { return names_; }
  int count() const { return count_; }

 private:
  char** names_ = nullptr;
  int count_ = 0;
};

}  // namespace

base::Result OpenEwf(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  SegmentNames segments;
  segments.Glob(path);
  std::string single = path;
  char* alone[] = {single.data()};
  char** names = segments.count() > 0 ? segments.names() : alone;
  const int count = segments.count() > 0 ? segments.count() : 1;
  auto handle = std::make_unique<LibyalHandle<EwfApi>>();
  if (base::Result made = handle->Initialize(); !made.ok()) return made;
  libewf_error_t* error = nullptr;
  if (libewf_handle_open(handle->get(), names, count, LIBEWF_OPEN_READ, &error) != 1)
    return Unopened(EwfApi::TakeError(error));
  handle->MarkOpened();
  std::uint64_t size = 0;
  if (base::Result sized = handle->MediaSize(size); !sized.ok()) return sized;
  out = std::make_unique<LibyalSource<EwfApi>>(std::move(handle), std::vector<std::unique_ptr<LibyalHandle<EwfApi>>>{},
                                               size);
  return {};
}

}  // namespace morvel::containers
