#include "app/cli/Json.h"

#include <array>
#include <charconv>
#include <cmath>

#include "base/Text.h"
#include "base/Utf.h"

namespace morvel::cli {
std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t n = base::Utf8SequenceAt(text, i, cp);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (base::IsControlCodePoint(cp)) {
      // Controls, C1 and bidi controls are escaped, so no document carries them raw.
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xFu];
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
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

void WriteTarget(JsonWriter& json, std::string_view target) {
  json.Value("target", JsonString(target));
  std::u16string wide;
  if (base::TryUtf8ToUtf16(target, wide)) return;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  json.Value("targetBytes", JsonString(hex));
}

}  // namespace morvel::cli
