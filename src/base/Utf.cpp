#include "base/Utf.h"

#include <cstdint>

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i`, advancing `i`; ill-formed input yields U+FFFD for one byte
// and clears `wellFormed`.
char32_t DecodeUtf8(std::string_view s, std::size_t& i, bool& wellFormed) {
  char32_t cp = 0;
  const std::size_t length = Utf8SequenceAt(s, i, cp);
  if (length == 0) {
    wellFormed = false;
    ++i;
    return kReplacement;
  }
  i += length;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  auto put = [&out](char32_t v) { out += static_cast<char>(v); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6)), put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12)), put(0x80 | ((cp >> 6) & 0x3F)), put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18)), put(0x80 | ((cp >> 12) & 0x3F)), put(0x80 | ((cp >> 6) & 0x3F)), put(0x80 | (cp & 0x3F));
  }
}

bool Convert(std::string_view text, std::u16string& out) {
  out.clear();
  bool wellFormed = true;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = DecodeUtf8(text, i, wellFormed);
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return wellFormed;
}

template <typename UnitAt>
std::string FromUtf16(std::size_t units, UnitAt unitAt) {
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    char32_t cp = unitAt(i);
    const bool high = cp >= 0xD800 && cp <= 0xDBFF;
    if (high && i + 1 < units && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(s[i]);
  if (b0 < 0x80) return cp = b0, 1;
  std::size_t extra = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0)
    extra = 1, cp = b0 & 0x1Fu, min = 0x80;
  else if ((b0 & 0xF0) == 0xE0)
    extra = 2, cp = b0 & 0x0Fu, min = 0x800;
  else if ((b0 & 0xF8) == 0xF0)
    extra = 3, cp = b0 & 0x07u, min = 0x10000;
  else
    return 0;
  if (extra >= s.size() - i) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto b = static_cast<std::uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Convert(text, out);
  return out;
}

bool TryUtf8ToUtf16(std::string_view text, std::u16string& out) { return Convert(text, out); }

std::string Utf16ToUtf8(std::u16string_view text) {
  return FromUtf16(text.size(), [&](std::size_t i) { return char32_t{text[i]}; });
}

std::string Utf16LeToUtf8(Bytes bytes) {
  return FromUtf16(bytes.size() / 2, [&](std::size_t i) { return char32_t{Le16(bytes, 2 * i)}; });
}

}  // namespace base
