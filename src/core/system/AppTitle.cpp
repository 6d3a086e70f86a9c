#include "core/system/AppTitle.h"

namespace morvel {
namespace {

// Length in bytes of the character at `i`: 2 for a lead byte followed by a second byte.
std::size_t CharLength(std::string_view text, std::size_t i, LeadBytePredicate isLeadByte) {
  const bool lead = isLeadByte(static_cast<unsigned char>(text[i]));
  return lead && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

bool NoLeadBytes(unsigned char) { return false; }

std::string AsciiLowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ApplicationTitle(std::string_view moduleFileName, LeadBytePredicate isLeadByte,
                             LowerCaseFunction lowerCase) {
  const std::string_view path = moduleFileName.substr(0, kMaxModuleNameLength);

  // One walk over whole characters: where the name starts (after the last "\") and where it
  // ends (its first "." after that start).
  std::size_t nameStart = 0;
  std::size_t nameEnd = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharLength(path, i, isLeadByte)) {
    if (path[i] == '\\') {
      nameStart = i + 1;
      nameEnd = std::string_view::npos;
    } else if (path[i] == '.' && nameEnd == std::string_view::npos) {
      nameEnd = i;
    }
  }
  const std::string_view name =
      path.substr(nameStart, nameEnd == std::string_view::npos ? nameEnd : nameEnd - nameStart);
  if (name.empty()) return {};

  const std::size_t first = CharLength(name, 0, isLeadByte);
  return std::string(name.substr(0, first)) + lowerCase(std::string(name.substr(first)));
}

}  // namespace morvel
