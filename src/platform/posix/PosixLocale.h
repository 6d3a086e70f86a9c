#pragma once
#include "core/runtime/Format.h"

namespace morvel {

// The decimal and thousands separators of the user's LC_NUMERIC (LC_ALL, LC_NUMERIC, LANG),
// without changing the process's locale. An unknown locale gives those of "C".
NumberSeparators UserNumberSeparators();

// The same for a named locale ("" is the user's).
NumberSeparators NumberSeparatorsOf(const char* localeName);

}  // namespace morvel
