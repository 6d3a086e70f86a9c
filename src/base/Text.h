#pragma once
// Text helpers shared by every layer: safe display of texts that come from a volume or a path,
// and the trimming of system messages.
#include <string>
#include <string_view>

namespace base {

enum class TextEncoding {
  Utf8,  // Linux texts and the reader's names: C1 controls and bidi controls are escaped too
  Ansi,  // a Windows ANSI code page: only the bytes below 0x20 and 0x7F are controls there
};

// Characters below U+0020, U+007F, C1 controls (U+0080-U+009F) and the bidi embedding, override
// and isolate controls (U+202A-U+202E, U+2066-U+2069): never shown raw.
bool IsControlCodePoint(char32_t cp);

// `text` with every control character shown as an escape, never raw: characters below U+0020
// and U+007F as \xHH, C1 controls (U+0080-U+009F) and the bidi embedding, override and isolate
// controls (U+202A-U+202E, U+2066-U+2069) as \uHHHH. In UTF-8, a byte that is not part of a
// well-formed sequence is shown as \xHH too. Other characters, backslashes included, stay.
std::string EscapeControls(std::string_view text, TextEncoding encoding = TextEncoding::Utf8);

// A system message without its trailing blanks, line breaks and full stops.
std::string TrimMessageTail(std::string text);

}  // namespace base
