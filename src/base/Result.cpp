#include "base/Result.h"

#include <ostream>
#include <system_error>

namespace base {

const char* StatusName(Status status) {
  switch (status) {
    case Status::Ok:
      return "ok";
    case Status::NotNtfs:
      return "not an NTFS volume";
    case Status::Corrupt:
      return "inconsistent NTFS structures";
    case Status::IoError:
      return "read error";
    case Status::System:
      return "system error";
    case Status::Usage:
      return "usage error";
  }
  return "";
}

Result Result::In(std::string_view where) && {
  if (!ok()) reason_ = std::string(where) + ": " + reason_;
  return std::move(*this);
}

Result ErrnoFailure(int code, std::string reason) {
  if (reason.empty()) reason = std::generic_category().message(code);
  return {Status::System, std::move(reason), code};
}

std::ostream& operator<<(std::ostream& out, const Result& r) {
  out << StatusName(r.status());
  if (r.code() != 0) out << " " << r.code();
  if (!r.reason().empty()) out << " (" << r.reason() << ")";
  return out;
}

}  // namespace base
