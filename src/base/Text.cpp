#include "base/Text.h"

#include <cstdint>

namespace base {
namespace {

// "\xHH" for a byte, "\uHHHH" for a code point.
void AppendEscape(std::string& out, char kind, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  const int digits = kind == 'x' ? 2 : 4;
  out += '\\';
  out += kind;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xFu];
}

bool IsEscapedCodePoint(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at `i` and its code point; 0 when ill-formed.
std::size_t SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(s[i]);
  std::size_t extra = 0;
  char32_t min = 0;
  if (b0 < 0x80) return cp = b0, 1;
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

}  // namespace

std::string EscapeControls(std::string_view text, TextEncoding encoding) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (encoding == TextEncoding::Ansi || byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F)
        AppendEscape(out, 'x', byte);
      else
        out += text[i];
      ++i;
      continue;
    }
    char32_t cp = 0;
    const std::size_t length = SequenceAt(text, i, cp);
    if (length == 0) {
      AppendEscape(out, 'x', byte);
      ++i;
    } else {
      if (IsEscapedCodePoint(cp))
        AppendEscape(out, 'u', static_cast<unsigned>(cp));
      else
        out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string TrimMessageTail(std::string text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace base
