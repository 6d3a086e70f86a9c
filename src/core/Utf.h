#pragma once
// UTF-8 and UTF-16 conversions for the few places that meet wide texts: version resources,
// shell link files and the file name of a link on save.
#include <string>
#include <string_view>

namespace morvel {

// Ill-formed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace morvel
