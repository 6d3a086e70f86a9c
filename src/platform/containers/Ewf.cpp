// EWF evidence files (E01, Ex01, S01, ...) through libewf: the first segment names the set,
// and libewf finds the others by the naming scheme. libewf opens a set whose segments end
// early (one missing, one cut short) and reads zeros where the rest would be: such a set is
// refused, and a read that meets a chunk libewf could not read fails.
#include <libewf.h>

#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/Bytes.h"
#include "ntfs/Reason.h"
#include "platform/containers/Containers.h"
#include "platform/containers/Libyal.h"
#include "platform/posix/PosixFile.h"

namespace morvel::containers {
namespace {

using EwfApi = LibyalApi<libewf_handle_t, libewf_error_t, &libewf_handle_initialize, &libewf_handle_free,
                         &libewf_handle_close, &libewf_handle_get_media_size, &libewf_handle_read_random,
                         &libewf_error_backtrace_sprint, &libewf_error_free>;
using EwfHandle = LibyalHandle<EwfApi>;

// The segment file names of one set, owned.
class SegmentNames {
 public:
  SegmentNames() = default;
  SegmentNames(const SegmentNames&) = delete;
  SegmentNames& operator=(const SegmentNames&) = delete;
  ~SegmentNames() {
    if (names_ != nullptr) libewf_glob_free(names_, count_, nullptr);
  }

  // The set `first` starts, as far as its names follow on without a gap (libewf looks for
  // them with stat, opening none). A name outside the naming scheme (no .E01, .Ex01, .s01, ...)
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

// The segment name that follows `name`: img.E01 ... img.E99, img.EAA ... img.EZZ, img.FAA ...
// (img.s01 and img.Ex01 alike). Empty when `name` has no such extension.
std::string NextSegmentName(std::string name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot < 4) return {};
  char& tens = name[name.size() - 2];
  char& units = name.back();
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  if (digit(tens) && digit(units)) {
    if (tens != '9' || units != '9') {
      units = units == '9' ? '0' : static_cast<char>(units + 1);
      if (units == '0') ++tens;
    } else {
      tens = units = std::islower(static_cast<unsigned char>(name[dot + 1])) != 0 ? 'a' : 'A';
    }
    return name;
  }
  for (std::size_t i = name.size() - 1; i > dot; --i) {  // letters count on, carrying leftwards
    char& c = name[i];
    if (!std::isalpha(static_cast<unsigned char>(c))) return {};
    if (c != 'z' && c != 'Z') {
      ++c;
      return name;
    }
    c = static_cast<char>(c - 25);
  }
  return {};
}

enum class SegmentEnd { Next, Done, Truncated, Unknown };

// How the segment at `path` ends, found by walking its sections. EWF version 1 (E01, S01): a
// 13-byte file header, "EVF" 09; then sections, each opening with a 76-byte
// descriptor: 0 its type, NUL-padded; 16 the next descriptor's offset in the file, LE64. The
// last is "next" when another segment follows, "done" in the last segment. Version 2 (Ex01)
// is laid out otherwise: Unknown.
SegmentEnd WalkSegment(const std::string& path) {
  constexpr std::size_t kFileHeader = 13;
  constexpr std::size_t kDescriptor = 76;
  std::unique_ptr<base::ByteSource> file;
  std::array<std::uint8_t, kDescriptor> d{};
  if (!OpenFdSource(path, file).ok()) return SegmentEnd::Truncated;
  if (file->Size() < kFileHeader || !file->ReadAt(0, std::span(d).first(4))) return SegmentEnd::Truncated;
  if (std::memcmp(d.data(), "EVF\x09", 4) != 0) return SegmentEnd::Unknown;
  for (std::uint64_t at = kFileHeader; base::Fits(file->Size(), at, kDescriptor) && file->ReadAt(at, d);) {
    const std::string_view type(reinterpret_cast<const char*>(d.data()),
                                strnlen(reinterpret_cast<char*>(d.data()), 16));
    if (type == "next") return SegmentEnd::Next;
    if (type == "done") return SegmentEnd::Done;
    const std::uint64_t next = base::Le64(d, 16);
    if (next <= at) break;
    at = next;
  }
  return SegmentEnd::Truncated;
}

// Which piece of a set libewf calls corrupted is missing or cut short.
base::Result Incomplete(char* const* names, int count) {
  for (int i = 0; i < count; ++i) {
    const SegmentEnd end = WalkSegment(names[i]);
    if (end == SegmentEnd::Truncated) return Unopened("its segment \"" + std::string(names[i]) + "\" is truncated");
    if (end != SegmentEnd::Next || i != count - 1) continue;
    const std::string next = NextSegmentName(names[i]);
    return Unopened(next.empty() ? "the segment after \"" + std::string(names[i]) + "\" is missing"
                                 : "its segment \"" + next + "\" is missing",
                    ENOENT);
  }
  return Unopened("its segment files are damaged or incomplete");
}

// The media data of an opened set. A chunk libewf cannot read, or whose checksum fails, comes
// back as zeros and its sectors join the handle's checksum errors: a read that meets one fails.
class EwfSource final : public base::ByteSource {
 public:
  struct Range {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
  };

  EwfSource(std::unique_ptr<EwfHandle> handle, std::uint64_t size, std::uint32_t sectorSize)
      : handle_(std::move(handle)), size_(size), sectorSize_(sectorSize) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    return handle_->ReadAt(offset, out) && !MeetsChecksumError(offset, out.size());
  }
  // The first failed chunk a read met, when one did.
  const std::optional<Range>& damage() const { return damage_; }

 private:
  bool MeetsChecksumError(std::uint64_t offset, std::uint64_t length) {
    std::uint32_t count = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_->get(), &count, nullptr) != 1) return true;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t first = 0;
      std::uint64_t sectors = 0;
      if (libewf_handle_get_checksum_error(handle_->get(), i, &first, &sectors, nullptr) != 1) return true;
      const Range bad{first * sectorSize_, sectors * sectorSize_};
      if (bad.offset < offset + length && offset < bad.offset + bad.length) {
        if (!damage_) damage_ = bad;
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<EwfHandle> handle_;
  std::uint64_t size_;
  std::uint32_t sectorSize_;
  std::optional<Range> damage_;
};

}  // namespace

std::string DescribeDamage(base::ByteSource& source) {
  const auto* ewf = dynamic_cast<const EwfSource*>(&source);
  if (ewf == nullptr || !ewf->damage()) return {};
  const EwfSource::Range bad = *ewf->damage();
  return "its data at bytes " + ntfs::Hex(bad.offset) + " to " + ntfs::Hex(bad.offset + bad.length - 1) +
         " fails its checksum";
}

base::Result OpenEwf(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  out.reset();
  SegmentNames segments;
  segments.Glob(path);
  std::string single = path;
  char* alone[] = {single.data()};
  char** names = segments.count() > 0 ? segments.names() : alone;
  const int count = segments.count() > 0 ? segments.count() : 1;
  // libewf opens each segment by its name, however special the file: a FIFO would block it.
  // (A pool of checked handles cannot be given instead: libewf carries its own copy of libbfio.)
  for (int i = 0; i < count; ++i) {
    if (base::Result openable = CheckOpenable(names[i], "its segment \"" + std::string(names[i]) + "\"");
        !openable.ok())
      return openable;
  }
  auto handle = std::make_unique<EwfHandle>();
  if (base::Result made = handle->Initialize(); !made.ok()) return made;
  libewf_error_t* error = nullptr;
  if (libewf_handle_open(handle->get(), names, count, LIBEWF_OPEN_READ, &error) != 1)
    return Unopened(EwfApi::TakeError(error));
  handle->MarkOpened();
  const int corrupted = libewf_handle_segment_files_corrupted(handle->get(), &error);
  if (corrupted < 0) return Unopened(EwfApi::TakeError(error));
  if (corrupted == 1) return Incomplete(names, count);
  std::uint64_t size = 0;
  std::uint32_t sectorSize = 0;
  if (base::Result sized = handle->MediaSize(size); !sized.ok()) return sized;
  if (libewf_handle_get_bytes_per_sector(handle->get(), &sectorSize, &error) != 1)
    return Unopened(EwfApi::TakeError(error));
  out = std::make_unique<EwfSource>(std::move(handle), size, sectorSize);
  return {};
}

}  // namespace morvel::containers
