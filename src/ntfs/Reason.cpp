#include "ntfs/Reason.h"

#include <ostream>

namespace ntfs {

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() < 2) digits.insert(digits.begin(), '0');  // "0x0B", as layouts write offsets
  return "0x" + digits;
}

Result Result::In(std::string_view where) && {
  if (!ok()) reason_ = std::string(where) + ": " + reason_;
  return std::move(*this);
}

std::ostream& operator<<(std::ostream& out, const Result& r) {
  out << StatusName(r.status());
  if (!r.reason().empty()) out << " (" << r.reason() << ")";
  return out;
}

}  // namespace ntfs
