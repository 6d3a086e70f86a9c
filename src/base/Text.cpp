#include "base/Text.h"

#include <cstdint>

#include "base/Utf.h"

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

}  // namespace

bool IsControlCodePoint(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

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
    const std::size_t length = Utf8SequenceAt(text, i, cp);
    if (length == 0) {
      AppendEscape(out, 'x', byte);
      ++i;
    } else {
      if (IsControlCodePoint(cp))
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
