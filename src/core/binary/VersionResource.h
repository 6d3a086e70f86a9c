#pragma once
// The version resource (VS_VERSIONINFO): a tree of blocks, each with a length, a value length,
// a type, a UTF-16 key, a value and child blocks, every part aligned to 32 bits. The parser is
// strict: every length is bounded by the enclosing block, the root key and the fixed part's
// signature are checked. Values are found by paths as the platform's version query takes them:
// "\" (the fixed part), "\VarFileInfo\Translation", "\StringFileInfo\041103A4\FileVersion".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvel {

enum class VersionError {
  None,
  Truncated,        // a block header or value runs past its enclosing block
  BadBlockLength,   // a block length below its header or past the enclosing block
  UnterminatedKey,  // a key without its terminating zero inside the block
  BadRootKey,       // the root key is not "VS_VERSION_INFO"
  BadFixedInfo,     // the fixed part is not 52 bytes or lacks the 0xFEEF04BD signature
  NotFound,         // no value at that path
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BDu;
inline constexpr std::size_t kFixedFileInfoSize = 52;

// VS_FIXEDFILEINFO.
struct FixedFileInfo {
  std::uint32_t signature = 0;
  std::uint32_t structVersion = 0;
  std::uint32_t fileVersionMs = 0, fileVersionLs = 0;
  std::uint32_t productVersionMs = 0, productVersionLs = 0;
  std::uint32_t fileFlagsMask = 0, fileFlags = 0;
  std::uint32_t fileOs = 0, fileType = 0, fileSubtype = 0;
  std::uint32_t fileDateMs = 0, fileDateLs = 0;
};

// Where a value lies in the resource: byte offset and byte size, and the block's type
// (1 text, 0 binary).
struct VersionValue {
  std::size_t offset = 0;
  std::size_t size = 0;
  std::uint16_t type = 0;
};

// Checks the root block (key, fixed part) and finds the value at `path`, whose parts are
// compared ignoring ASCII case.
VersionError FindVersionValue(std::span<const std::uint8_t> resource, std::string_view path, VersionValue& value);
VersionError ReadFixedFileInfo(std::span<const std::uint8_t> resource, FixedFileInfo& info);
// A text value as UTF-8, up to its first zero; nothing when it is missing or not text.
std::optional<std::string> ReadVersionString(std::span<const std::uint8_t> resource, std::string_view path);
// The pairs of the translation list (language, code page).
std::vector<std::pair<std::uint16_t, std::uint16_t>> ReadTranslations(std::span<const std::uint8_t> resource);
// Key and the UTF-8 text of every value of a string table ("041103A4"), in order.
std::vector<std::pair<std::string, std::string>> ReadStringTable(std::span<const std::uint8_t> resource,
                                                                 std::string_view table);

// The version data as the platform's query hands it out: the resource, followed by room in
// which every text value also stands as zero-terminated 8-bit text (UTF-8).
std::vector<std::uint8_t> VersionInfoBuffer(std::span<const std::uint8_t> resource);
// The query over such a buffer: a text value's offset points to its 8-bit form (length in
// characters with the terminator), a binary value's to its bytes (length in bytes).
bool QueryVersionInfoBuffer(std::span<const std::uint8_t> buffer, std::string_view path, std::size_t& offset,
                            std::uint32_t& length);

}  // namespace morvel
