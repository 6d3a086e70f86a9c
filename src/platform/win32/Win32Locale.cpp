#include "platform/win32/Win32Locale.h"

#include <windows.h>

namespace morvel {
namespace {

// One locale text of the user locale; `fallback` when the lookup fails.
std::string UserLocaleText(LCTYPE type, const char* fallback) {
  char buffer[16] = {};
  const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, static_cast<int>(sizeof buffer));
  // n counts the terminating zero.
  return n > 1 ? std::string(buffer, static_cast<std::size_t>(n - 1)) : std::string(fallback);
}

}  // namespace

NumberSeparators UserNumberSeparators() {
  NumberSeparators separators;
  separators.decimal = UserLocaleText(LOCALE_SDECIMAL, ".");
  separators.thousands = UserLocaleText(LOCALE_STHOUSAND, ",");
  return separators;
}

}  // namespace morvel
