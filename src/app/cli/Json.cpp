#include "app/cli/Json.h"

#include <array>
#include <charconv>
#include <cmath>

namespace morvel::cli {
namespace {

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) return 1;
  // The lead byte gives the length and the first bits of the code point.
  std::size_t n = 0;
  std::uint32_t cp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not valid UTF-8.
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const char c = text[0];
    const std::size_t n = Utf8SequenceLength(text);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string JsonNumber(std::int64_t value) { return std::to_string(value); }

void JsonWriter::StartItem(std::string_view key) {
  if (depth_ > 0) {
    text_ += first_ ? "\n" : ",\n";
    text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  }
  if (!key.empty()) text_ += JsonString(key) + ": ";
  first_ = false;
}

void JsonWriter::Value(std::string_view key, const std::string& json) {
  StartItem(key);
  text_ += json;
}

void JsonWriter::Open(std::string_view key, char bracket) {
  StartItem(key);
  text_ += bracket;
  ++depth_;
  first_ = true;
}

void JsonWriter::Close(char bracket) {
  --depth_;
  if (!first_) {
    text_ += '\n';
    text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  }
  text_ += bracket;
  first_ = false;
  if (depth_ == 0) text_ += '\n';
}

}  // namespace morvel::cli
