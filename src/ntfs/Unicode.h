#pragma once
// UTF-8 names in the interface, UTF-16 names on the volume.
#include <cstdint>
#include <string>
#include <string_view>

#include "Bytes.h"

namespace ntfs {

// false for malformed UTF-8 (overlong forms, surrogates, truncated sequences).
bool Utf8ToUtf16(std::string_view in, std::u16string& out);

// Unpaired surrogates, which NTFS names may hold, become U+FFFD.
std::string Utf16LeToUtf8(Bytes in);

}  // namespace ntfs
