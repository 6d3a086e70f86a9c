#include "core/binary/VersionResource.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"
#include "base/Utf.h"

namespace morvel {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kMaxDepth = 8;  // real resources are four levels deep

constexpr std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

struct Block {
  std::size_t offset = 0;  // of the block in the resource
  std::size_t end = 0;     // offset + wLength
  std::uint16_t type = 0;
  std::u16string key;
  VersionValue value;
  std::size_t children = 0;  // offset of the first child
};

// Reads the block at `offset`, which must end by `limit`.
VersionError ReadBlock(Bytes data, std::size_t offset, std::size_t limit, Block& block) {
  if (!base::Fits(limit, offset, kBlockHeaderSize)) return VersionError::Truncated;
  const std::size_t length = base::Le16(data, offset + 0);         // 0: wLength, the whole block
  const std::uint16_t valueLength = base::Le16(data, offset + 2);  // 2: wValueLength
  block.type = base::Le16(data, offset + 4);                       // 4: wType, 1 text, 0 binary
  if (length < kBlockHeaderSize || !base::Fits(limit, offset, length)) return VersionError::BadBlockLength;
  block.offset = offset;
  block.end = offset + length;
  block.key.clear();
  std::size_t at = offset + kBlockHeaderSize;  // 6: szKey, UTF-16, zero-terminated
  for (;; at += 2) {
    if (at + 2 > block.end) return VersionError::UnterminatedKey;
    const char16_t c = base::Le16(data, at);
    if (c == 0) break;
    block.key += c;
  }
  const std::size_t valueOffset = std::min(Align4(at + 2), block.end);  // value after 32-bit padding
  // A text value's length counts characters; it cannot reach past its block, a binary one must not.
  std::size_t valueSize = block.type == 1 ? std::size_t{valueLength} * 2 : valueLength;
  if (block.type == 1) valueSize = std::min(valueSize, block.end - valueOffset);
  if (!base::Fits(block.end, valueOffset, valueSize)) return VersionError::Truncated;
  block.value = VersionValue{valueOffset, valueSize, block.type};
  block.children = std::min(Align4(valueOffset + valueSize), block.end);
  return VersionError::None;
}

bool KeyEquals(const std::u16string& key, std::string_view name) {
  if (key.size() != name.size()) return false;
  auto lower = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  for (std::size_t i = 0; i < key.size(); ++i)
    if (lower(key[i]) != lower(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

// Calls visit(child) for each child of `parent`; stops at the first error or when visit
// returns true (found).
template <typename Visit>
VersionError ForEachChild(Bytes data, const Block& parent, Visit visit) {
  for (std::size_t at = parent.children; at < parent.end;) {
    Block child;
    if (const auto error = ReadBlock(data, at, parent.end, child); error != VersionError::None) return error;
    if (visit(child)) return VersionError::None;
    at = Align4(child.end);
  }
  return VersionError::NotFound;
}

VersionError ReadRoot(Bytes data, Block& root) {
  if (const auto error = ReadBlock(data, 0, data.size(), root); error != VersionError::None) return error;
  if (!KeyEquals(root.key, "VS_VERSION_INFO")) return VersionError::BadRootKey;
  if (root.value.size != 0) {
    if (root.value.size != kFixedFileInfoSize || base::Le32(data, root.value.offset) != kFixedFileInfoSignature)
      return VersionError::BadFixedInfo;
  }
  return VersionError::None;
}

std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    if (!part.empty()) parts.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

VersionError FindBlock(Bytes data, std::string_view path, Block& found) {
  if (const auto error = ReadRoot(data, found); error != VersionError::None) return error;
  for (const std::string_view part : PathParts(path)) {
    bool hit = false;
    Block next;
    const auto error = ForEachChild(data, found, [&](const Block& child) {
      hit = KeyEquals(child.key, part);
      if (hit) next = child;
      return hit;
    });
    if (!hit) return error;
    found = next;
  }
  return VersionError::None;
}

std::string TextAt(Bytes data, const VersionValue& value) {
  std::u16string text;
  for (std::size_t at = value.offset; at + 2 <= value.offset + value.size; at += 2) {
    const char16_t c = base::Le16(data, at);
    if (c == 0) break;
    text += c;
  }
  return base::Utf16ToUtf8(text);
}

std::size_t ShadowStart(std::size_t resourceSize) { return Align4(resourceSize); }
// A text value of n UTF-16 units takes at most 3n bytes in UTF-8: placing it at 3/2 of its own
// offset keeps every text value's 8-bit form clear of the next one's.
std::size_t ShadowOffset(std::size_t resourceSize, std::size_t valueOffset) {
  return ShadowStart(resourceSize) + valueOffset / 2 * 3;
}

void WriteShadows(Bytes resource, const Block& block, std::size_t depth, std::vector<std::uint8_t>& buffer) {
  if (block.type == 1 && block.value.size > 0) {
    const std::string text = TextAt(resource, block.value);
    std::memcpy(buffer.data() + ShadowOffset(resource.size(), block.value.offset), text.c_str(), text.size() + 1);
  }
  if (depth == kMaxDepth) return;
  ForEachChild(resource, block, [&](const Block& child) {
    WriteShadows(resource, child, depth + 1, buffer);
    return false;
  });
}

}  // namespace

VersionError FindVersionValue(Bytes resource, std::string_view path, VersionValue& value) {
  Block block;
  const auto error = FindBlock(resource, path, block);
  if (error == VersionError::None) value = block.value;
  return error;
}

VersionError ReadFixedFileInfo(Bytes resource, FixedFileInfo& info) {
  VersionValue value;
  if (const auto error = FindVersionValue(resource, "\\", value); error != VersionError::None) return error;
  if (value.size != kFixedFileInfoSize) return VersionError::NotFound;
  const std::size_t at = value.offset;
  info.signature = base::Le32(resource, at + 0);          // 0: dwSignature
  info.structVersion = base::Le32(resource, at + 4);      // 4: dwStrucVersion
  info.fileVersionMs = base::Le32(resource, at + 8);      // 8: dwFileVersionMS
  info.fileVersionLs = base::Le32(resource, at + 12);     // 12: dwFileVersionLS
  info.productVersionMs = base::Le32(resource, at + 16);  // 16: dwProductVersionMS
  info.productVersionLs = base::Le32(resource, at + 20);  // 20: dwProductVersionLS
  info.fileFlagsMask = base::Le32(resource, at + 24);     // 24: dwFileFlagsMask
  info.fileFlags = base::Le32(resource, at + 28);         // 28: dwFileFlags
  info.fileOs = base::Le32(resource, at + 32);            // 32: dwFileOS
  info.fileType = base::Le32(resource, at + 36);          // 36: dwFileType
  info.fileSubtype = base::Le32(resource, at + 40);       // 40: dwFileSubtype
  info.fileDateMs = base::Le32(resource, at + 44);        // 44: dwFileDateMS
  info.fileDateLs = base::Le32(resource, at + 48);        // 48: dwFileDateLS
  return VersionError::None;
}

std::optional<std::string> ReadVersionString(Bytes resource, std::string_view path) {
  VersionValue value;
  if (FindVersionValue(resource, path, value) != VersionError::None || value.type != 1) return std::nullopt;
  return TextAt(resource, value);
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> ReadTranslations(Bytes resource) {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> out;
  VersionValue value;
  if (FindVersionValue(resource, "\\VarFileInfo\\Translation", value) != VersionError::None) return out;
  for (std::size_t at = value.offset; at + 4 <= value.offset + value.size; at += 4)
    out.emplace_back(base::Le16(resource, at), base::Le16(resource, at + 2));  // language, code page
  return out;
}

std::vector<std::pair<std::string, std::string>> ReadStringTable(Bytes resource, std::string_view table) {
  std::vector<std::pair<std::string, std::string>> out;
  Block block;
  if (FindBlock(resource, "\\StringFileInfo\\" + std::string(table), block) != VersionError::None) return out;
  ForEachChild(resource, block, [&](const Block& child) {
    out.emplace_back(base::Utf16ToUtf8(child.key), child.type == 1 ? TextAt(resource, child.value) : std::string());
    return false;
  });
  return out;
}

std::vector<std::uint8_t> VersionInfoBuffer(Bytes resource) {
  std::vector<std::uint8_t> buffer(ShadowStart(resource.size()) + resource.size() / 2 * 3 + 4, 0);
  std::copy(resource.begin(), resource.end(), buffer.begin());
  Block root;
  if (ReadRoot(resource, root) == VersionError::None) WriteShadows(resource, root, 0, buffer);
  return buffer;
}

bool QueryVersionInfoBuffer(Bytes buffer, std::string_view path, std::size_t& offset, std::uint32_t& length) {
  if (buffer.size() < 2) return false;
  const std::size_t resourceSize = base::Le16(buffer, 0);  // the root block's wLength
  if (ShadowStart(resourceSize) + resourceSize / 2 * 3 + 4 > buffer.size()) return false;
  const Bytes resource = buffer.first(resourceSize);
  VersionValue value;
  if (FindVersionValue(resource, path, value) != VersionError::None) return false;
  if (value.type != 1) {
    offset = value.offset;
    length = static_cast<std::uint32_t>(value.size);
    return true;
  }
  // An empty text's 8-bit form is the zero byte its place in the room holds.
  const std::size_t at = ShadowOffset(resourceSize, value.offset);
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(buffer.data() + at, 0, buffer.size() - at));
  if (end == nullptr) return false;
  offset = at;
  length = static_cast<std::uint32_t>(end - (buffer.data() + at) + 1);
  return true;
}

}  // namespace morvel
