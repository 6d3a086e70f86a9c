#pragma once
// Opens a container with the parents a differencing image needs, for the libraries that keep
// a parent as a handle of their own kind (libvhdi, libvmdk, libqcow). A library's Traits say
// how to open one file, name its parent and link the two.
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/containers/Containers.h"
#include "platform/containers/Libyal.h"

namespace morvel::containers {

// The file the image at `imagePath` names as `name` (a parent, an extent): the name as it is,
// relative to the image's folder, then its last component beside the image (images move
// together, the paths they record do not). `found` stays empty when neither exists; one that
// exists is checked with CheckOpenable, named as `what` and its path.
base::Result Locate(const std::string& imagePath, const std::string& name, const std::string& what, std::string& found);

inline constexpr int kMaxChain = 16;            // images in one parent chain
inline constexpr std::size_t kMaxName = 32768;  // bytes of a name an image records

template <typename Traits>
base::Result OpenWithParents(const std::string& path, std::unique_ptr<base::ByteSource>& out) {
  using Api = typename Traits::Api;
  using Handle = LibyalHandle<Api>;
  out.reset();
  // Released child first: a parent outlives every image that reads through it.
  struct Chain {
    std::vector<std::unique_ptr<Handle>> images;
    ~Chain() {
      for (auto& image : images) image.reset();
    }
  } chain;
  std::string current = path;
  for (;;) {
    auto image = std::make_unique<Handle>();
    base::Result opened = image->Initialize();
    if (opened.ok()) opened = Traits::Open(*image, current);
    if (!opened.ok()) return current != path ? std::move(opened).In("its parent image \"" + current + "\"") : opened;
    chain.images.push_back(std::move(image));
    std::string name;
    if (base::Result named = Traits::ParentName(chain.images.back()->get(), name); !named.ok()) return named;
    if (name.empty()) break;
    if (chain.images.size() >= kMaxChain)
      return Unopened("more than " + std::to_string(kMaxChain) + " images in its chain of parents");
    std::string parent;
    if (base::Result located = Locate(current, name, "its parent", parent); !located.ok()) return located;
    current = parent;
    if (current.empty())
      return Unopened("it is a differencing image and needs its parent \"" + name + "\", which is not beside it",
                      ENOENT);
  }
  // Linked from the oldest image down, so each parent is complete when its child takes it.
  for (std::size_t i = chain.images.size() - 1; i > 0; --i) {
    if (base::Result linked = Traits::SetParent(chain.images[i - 1]->get(), chain.images[i]->get()); !linked.ok())
      return linked;
  }
  std::uint64_t size = 0;
  if (base::Result sized = chain.images.front()->MediaSize(size); !sized.ok()) return sized;
  auto child = std::move(chain.images.front());
  std::vector<std::unique_ptr<Handle>> parents;
  for (std::size_t i = 1; i < chain.images.size(); ++i) parents.push_back(std::move(chain.images[i]));
  out = std::make_unique<LibyalSource<Api>>(std::move(child), std::move(parents), size);
  return {};
}

// Reads a name an image records (its parent's, an extent file's) into `name` through a library's
// size-then-text pair of calls; `name` stays empty when there is none.
template <typename Api, typename H, auto SizeFn, auto TextFn>
base::Result ReadName(H* handle, std::string& name) {
  name.clear();
  typename Api::Error* error = nullptr;
  std::size_t size = 0;
  const int has = SizeFn(handle, &size, &error);
  if (has < 0) return Unopened(Api::TakeError(error));
  if (has == 0 || size <= 1) return {};
  if (size > kMaxName) return Unopened("it records a name longer than " + std::to_string(kMaxName) + " bytes");
  std::vector<std::uint8_t> text(size, 0);
  if (TextFn(handle, text.data(), text.size(), &error) != 1) return Unopened(Api::TakeError(error));
  name.assign(reinterpret_cast<const char*>(text.data()), size);
  name.resize(name.find('\0'));
  return {};
}

}  // namespace morvel::containers
