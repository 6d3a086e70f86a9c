#pragma once
// The application title: the name the program goes by in its captions, its taskbar entry and
// its error message boxes. It is derived from the executable's file name, never set.
#include <string>
#include <string_view>

namespace morvel {

// Whether a byte opens a double-byte character of the ANSI code page.
using LeadBytePredicate = bool (*)(unsigned char byte);
// Lower-cases a text of the ANSI code page.
using LowerCaseFunction = std::string (*)(std::string text);

// Single-byte code pages: no byte opens a double-byte character.
bool NoLeadBytes(unsigned char byte);
// Lower-cases "A".."Z" only.
std::string AsciiLowerCase(std::string text);

// The longest module file name the title is taken from.
inline constexpr std::size_t kMaxModuleNameLength = 255;

// The title for the executable `moduleFileName` (already in the ANSI character set): the
// file name after the last "\", cut at its first ".", with every character after the first
// lower-cased. The searches step over whole characters, so the second byte of a double-byte
// character is never taken for "\" or ".". Only the first kMaxModuleNameLength bytes count.
// C:\Tools\VOLREPORT.EXE gives "Volreport"; D:\x\my.tool.exe gives "my".
std::string ApplicationTitle(std::string_view moduleFileName, LeadBytePredicate isLeadByte = NoLeadBytes,
                             LowerCaseFunction lowerCase = AsciiLowerCase);

}  // namespace morvel
