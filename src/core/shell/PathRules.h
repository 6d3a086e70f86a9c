#pragma once
// Path rules over the system's 8-bit texts: which bytes delimit a path, and the parts the
// shell routines and the information window take from a path. A delimiter byte that is the
// second byte of a double-byte character (Japanese code page 932 allows "\" there) is part of
// that character, never a delimiter.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace morvel {

class SystemApi;

struct PathRules {
  std::string delimiters;  // bytes that end a folder or drive part
  char separator = '\\';   // joins a folder and a file name
  std::function<bool(std::uint8_t)> isLeadByte = [](std::uint8_t) { return false; };
};

// "\" and ":" with the ANSI code page's lead bytes; "/" on a POSIX file system.
PathRules WindowsPathRules(std::function<bool(std::uint8_t)> isLeadByte);
PathRules PosixPathRules();
// The rules of the machine behind `api`.
PathRules PathRulesOf(SystemApi& api);

// Index of the last delimiter of `path`, or npos.
std::size_t LastDelimiter(std::string_view path, const PathRules& rules);

// Everything up to and including the last delimiter; empty without one (C:\Tools\app.exe
// gives C:\Tools\, MailTo:x gives MailTo:).
std::string PathPart(std::string_view path, const PathRules& rules);
// Everything after the last delimiter.
std::string FileNamePart(std::string_view path, const PathRules& rules);
// The folder without its trailing delimiter, except that a root keeps it (C:\Tools\app.exe
// gives C:\Tools, C:\app.exe gives C:\).
std::string DirectoryOf(std::string_view path, const PathRules& rules);
// One trailing separator removed, when the last character is one.
std::string WithoutTrailingSeparator(std::string_view path, const PathRules& rules);
// The file name with everything from its last "." removed (report.final.exe gives report.final);
// a name without "." stays whole.
std::string WithoutExtension(std::string_view fileName, const PathRules& rules);

}  // namespace morvel
