#pragma once
// What an operation gave: Ok, or a failure with its status, the system's code when a call to
// the system failed, and why. Every layer says its failures with it: the NTFS reader's
// rejections, a file that cannot be opened, a file that cannot be written, a usage error.
#include <iosfwd>
#include <string>
#include <string_view>

namespace base {

enum class Status {
  Ok,
  NotNtfs,  // no NTFS boot sector: STATUS_INVALID_DEVICE_REQUEST on Windows
  Corrupt,  // inconsistent structures: STATUS_FILE_CORRUPT_ERROR
  IoError,  // a read or write failed: STATUS_IO_DEVICE_ERROR
  System,   // a call to the system failed: code() holds the system's code for it
  Usage,    // the command line asks for what the program cannot do
};

// "ok", "not an NTFS volume", "inconsistent NTFS structures", "read error", ...
const char* StatusName(Status status);

// Ok, or a failure with its status and why: which structure, which check, at which byte
// ("$MFT record 0: update sequence mismatch at byte 0x3FE"), which call and the system's word
// for its code. The reason is built only when something fails; on the success path it stays an
// empty string. The reader's reasons hold numbers and its own words, never text read from the
// volume.
class [[nodiscard]] Result {
 public:
  Result() = default;
  Result(Status status, std::string reason, int code = 0) : status_(status), code_(code), reason_(std::move(reason)) {}

  bool ok() const { return status_ == Status::Ok; }
  Status status() const { return status_; }
  // The system's code of a failed call: an errno value from the C library and POSIX, a Win32
  // error code from a Win32 call; 0 when there is none.
  int code() const { return code_; }
  const std::string& reason() const { return reason_; }
  // Names where a failure was found: "where: reason".
  Result In(std::string_view where) &&;

  friend bool operator==(const Result& r, Status s) { return r.status_ == s; }

 private:
  Status status_ = Status::Ok;
  int code_ = 0;
  std::string reason_;
};

// A failed call of the C library or of POSIX: System with its errno value, and why in the
// system's words ("No such file or directory") unless `reason` says more than they do.
Result ErrnoFailure(int code, std::string reason = {});

std::ostream& operator<<(std::ostream& out, const Result& r);

}  // namespace base
