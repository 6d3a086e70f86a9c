#pragma once
// The handle, error and read conventions the four container libraries share (libewf,
// libvhdi, libvmdk, libqcow), bound once per library in its own file: their headers each
// define the same basic types and are never included together.
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/ByteSource.h"
#include "base/Result.h"
#include "platform/containers/Containers.h"

namespace morvel::containers {

// A library's entry points for one handle type.
template <typename H, typename E, auto Initialize, auto Free, auto Close, auto MediaSize, auto Read, auto Sprint,
          auto ErrorFree>
struct LibyalApi {
  using Handle = H;
  using Error = E;
  static constexpr auto kInitialize = Initialize;
  static constexpr auto kFree = Free;
  static constexpr auto kClose = Close;
  static constexpr auto kMediaSize = MediaSize;
  static constexpr auto kRead = Read;

  // The innermost cause of `error` (its backtrace lists the chain from the cause outwards),
  // and frees it.
  static std::string TakeError(E*& error) {
    if (error == nullptr) return "unknown error";
    std::string text(1024, '\0');
    const int n = Sprint(error, text.data(), text.size());
    ErrorFree(&error);
    text.resize(n > 0 && static_cast<std::size_t>(n) < text.size() ? static_cast<std::size_t>(n) : 0);
    text = text.substr(0, text.find('\n'));
    // "libvhdi_image_header_read_file_io_handle: unable to read ...": the function's name
    // says nothing to a reader of the report.
    const std::size_t colon = text.find(": ");
    if (colon != std::string::npos && text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == colon) {
      text.erase(0, colon + 2);
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text.empty() ? "unknown error" : text;
  }
};

// Owns one library handle: freed, and closed first once it was opened; what the library reads
// through (Keep) is released after it.
template <typename Api>
class LibyalHandle {
 public:
  using H = typename Api::Handle;
  using E = typename Api::Error;

  LibyalHandle() = default;
  LibyalHandle(const LibyalHandle&) = delete;
  LibyalHandle& operator=(const LibyalHandle&) = delete;
  ~LibyalHandle() {
    if (handle_ == nullptr) return;
    if (opened_) Api::kClose(handle_, nullptr);
    Api::kFree(&handle_, nullptr);
  }

  // Makes the handle; a failure says why in the library's words.
  base::Result Initialize() {
    E* error = nullptr;
    if (Api::kInitialize(&handle_, &error) == 1) return {};
    return Unopened(Api::TakeError(error));
  }
  H* get() const { return handle_; }
  void MarkOpened() { opened_ = true; }
  // Keeps `resource` until the handle is closed and freed.
  void Keep(std::shared_ptr<void> resource) { kept_ = std::move(resource); }

  // The size of the media data; a failure says why in the library's words.
  base::Result MediaSize(std::uint64_t& size) {
    E* error = nullptr;
    std::uint64_t value = 0;
    if (Api::kMediaSize(handle_, &value, &error) != 1) return Unopened(Api::TakeError(error));
    size = value;
    return {};
  }

  // Fills `out` from the media data at `offset`, in as many reads as the library needs.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    for (std::size_t done = 0; done < out.size();) {
      const std::uint64_t at = offset + done;
      if (at > kMaxOffset) return false;
      const std::size_t want = std::min<std::size_t>(out.size() - done, std::size_t{1} << 30);
      const auto n = Api::kRead(handle_, out.data() + done, want, static_cast<std::int64_t>(at), nullptr);
      if (n <= 0) return false;  // an error, or the end of the media before `out` is full
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  std::shared_ptr<void> kept_;  // released after the handle: members outlive the destructor's body
  H* handle_ = nullptr;
  bool opened_ = false;
};

// The media data of one container, with the parents a differencing image reads through.
// The child is released before its parents, the nearest parent first.
template <typename Api>
class LibyalSource final : public base::ByteSource {
 public:
  using Handle = LibyalHandle<Api>;

  LibyalSource(std::unique_ptr<Handle> handle, std::vector<std::unique_ptr<Handle>> parents, std::uint64_t size)
      : parents_(std::move(parents)), handle_(std::move(handle)), size_(size) {}
  ~LibyalSource() override {
    handle_.reset();
    for (auto& parent : parents_) parent.reset();
  }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    return handle_->ReadAt(offset, out);
  }

 private:
  std::vector<std::unique_ptr<Handle>> parents_;
  std::unique_ptr<Handle> handle_;
  std::uint64_t size_;
};

}  // namespace morvel::containers
