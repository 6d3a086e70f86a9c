#include "core/shell/PathRules.h"

#include <utility>

#include "core/system/SystemApi.h"

namespace morvel {
namespace {

// Calls `visit(index, byte)` for every single-byte character of `text`, skipping both bytes of
// a double-byte character. A lead byte at the very end stands alone.
template <typename Visit>
void ForEachSingleByte(std::string_view text, const PathRules& rules, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (rules.isLeadByte(byte) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    visit(i, text[i]);
  }
}

// Index of the last single-byte character found in `set`, or npos.
std::size_t LastOf(std::string_view text, std::string_view set, const PathRules& rules) {
  std::size_t last = std::string_view::npos;
  ForEachSingleByte(text, rules, [&](std::size_t i, char c) {
    if (set.find(c) != std::string_view::npos) last = i;
  });
  return last;
}

bool IsSingleByteAt(std::string_view text, std::size_t index, const PathRules& rules) {
  bool single = false;
  ForEachSingleByte(text, rules, [&](std::size_t i, char) { single = single || i == index; });
  return single;
}

}  // namespace

PathRules WindowsPathRules(std::function<bool(std::uint8_t)> isLeadByte) {
  return PathRules{"\\:", '\\', std::move(isLeadByte)};
}

PathRules PosixPathRules() {
  return PathRules{"/", '/', [](std::uint8_t) { return false; }};
}

PathRules PathRulesOf(SystemApi& api) {
  if (api.UsesPosixPaths()) return PosixPathRules();
  return WindowsPathRules([&api](std::uint8_t b) { return api.IsLeadByte(b); });
}

std::size_t LastDelimiter(std::string_view path, const PathRules& rules) {
  return LastOf(path, rules.delimiters, rules);
}

std::string PathPart(std::string_view path, const PathRules& rules) {
  const std::size_t last = LastDelimiter(path, rules);
  return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string FileNamePart(std::string_view path, const PathRules& rules) {
  const std::size_t last = LastDelimiter(path, rules);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string DirectoryOf(std::string_view path, const PathRules& rules) {
  const std::size_t last = LastDelimiter(path, rules);
  if (last == std::string_view::npos) return {};
  std::size_t end = last + 1;  // keep the delimiter...
  // ...unless it is a separator that follows a name: only a root or a drive keeps it.
  const bool followsDelimiter =
      last > 0 && IsSingleByteAt(path, last - 1, rules) && rules.delimiters.find(path[last - 1]) != std::string::npos;
  if (last > 0 && path[last] == rules.separator && !followsDelimiter) end = last;
  return std::string(path.substr(0, end));
}

std::string WithoutTrailingSeparator(std::string_view path, const PathRules& rules) {
  if (!path.empty() && path.back() == rules.separator && IsSingleByteAt(path, path.size() - 1, rules))
    path.remove_suffix(1);
  return std::string(path);
}

std::string WithoutExtension(std::string_view fileName, const PathRules& rules) {
  const std::size_t dot = LastOf(fileName, ".", rules);
  const std::size_t delimiter = LastDelimiter(fileName, rules);
  if (dot == std::string_view::npos || (delimiter != std::string_view::npos && dot < delimiter))
    return std::string(fileName);
  return std::string(fileName.substr(0, dot));
}

}  // namespace morvel
