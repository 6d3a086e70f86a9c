#include "platform/posix/PosixLocale.h"

#include <langinfo.h>
#include <locale.h>

namespace morvel {
namespace {

class UniqueLocale {
 public:
  explicit UniqueLocale(locale_t locale) : locale_(locale) {}
  UniqueLocale(const UniqueLocale&) = delete;
  UniqueLocale& operator=(const UniqueLocale&) = delete;
  ~UniqueLocale() {
    if (locale_ != locale_t{}) ::freelocale(locale_);
  }
  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

}  // namespace

NumberSeparators NumberSeparatorsOf(const char* localeName) {
  UniqueLocale locale(::newlocale(LC_NUMERIC_MASK, localeName, locale_t{}));
  if (locale.get() == locale_t{}) return NumberSeparatorsOf("C");
  NumberSeparators separators;
  separators.decimal = ::nl_langinfo_l(RADIXCHAR, locale.get());
  separators.thousands = ::nl_langinfo_l(THOUSEP, locale.get());
  if (separators.decimal.empty()) separators.decimal = ".";
  return separators;
}

NumberSeparators UserNumberSeparators() { return NumberSeparatorsOf(""); }

}  // namespace morvel
