#pragma once
// The one UTF-8 / UTF-16 codec: strict where a caller must reject ill-formed input (a name to
// look up), replacing where any input must give a text (names read from a volume, resources).
#include <string>
#include <string_view>

#include "base/Bytes.h"

namespace base {

// The length of the well-formed UTF-8 sequence that starts at `i` (1 to 4) with its code point
// in `cp`; 0 when the bytes there are not one (overlong forms, surrogates, past U+10FFFF,
// truncated sequences).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp);

// Ill-formed sequences (overlong forms, surrogates, truncated sequences) become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// The same conversion, refusing ill-formed input: false, and `out` unspecified.
bool TryUtf8ToUtf16(std::string_view text, std::u16string& out);

// Unpaired surrogates, which Windows names may hold, become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// The same for UTF-16LE bytes (an odd last byte is ignored).
std::string Utf16LeToUtf8(Bytes bytes);

}  // namespace base
