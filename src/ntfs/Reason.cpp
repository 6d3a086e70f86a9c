#include "ntfs/Reason.h"

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

}  // namespace ntfs
