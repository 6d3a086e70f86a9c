#pragma once
// A small JSON writer for the console program's --json output.
#include <cstdint>
#include <string>
#include <string_view>

namespace morvel::cli {

// A JSON string literal. Control, C1 and bidi control characters are escaped; bytes that are not valid UTF-8
// become U+FFFD, so any file name or argument gives a valid document.
std::string JsonString(std::string_view text);

// The shortest text that reads back as the same double; "null" for a non-finite value.
std::string JsonNumber(double value);
std::string JsonNumber(std::int64_t value);

// Writes members and elements with the commas and indentation between them.
class JsonWriter {
 public:
  void BeginObject(std::string_view key = {}) { Open(key, '{'); }
  void EndObject() { Close('}'); }
  void BeginArray(std::string_view key = {}) { Open(key, '['); }
  void EndArray() { Close(']'); }
  // `json` is already a JSON value (use JsonString / JsonNumber).
  void Value(std::string_view key, const std::string& json);
  const std::string& text() const { return text_; }

 private:
  void Open(std::string_view key, char bracket);
  void Close(char bracket);
  void StartItem(std::string_view key);

  std::string text_;
  int depth_ = 0;
  bool first_ = true;
};

// Writes "target" for a target named on the command line, and, when its text is not valid UTF-8
// (and so lost some bytes to U+FFFD), "targetBytes": every byte in two lower-case hex digits,
// so that two such targets stay apart.
void WriteTarget(JsonWriter& json, std::string_view target);

}  // namespace morvel::cli
