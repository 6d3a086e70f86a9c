#pragma once
// The runtime errors the report, the query and the window placement can raise. They leave
// the handler that was running and reach the application's default error report.
#include <stdexcept>
#include <string>

namespace morvel {

enum class RuntimeErrorKind {
  IntegerOverflow,
  RangeCheck,
  FloatDivisionByZero,
  InvalidFloatOperation,
  Other,
};

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(RuntimeErrorKind kind);
  RuntimeError(RuntimeErrorKind kind, const std::string& message);
  RuntimeErrorKind kind() const noexcept { return kind_; }

 private:
  RuntimeErrorKind kind_;
};

// The fixed message of each runtime error kind ("Integer overflow", ...).
const char* RuntimeErrorMessage(RuntimeErrorKind kind);

// Text of the application's default error report: the message, with "." appended when it is
// not empty and its last character sorts after ".".
std::string ErrorReportText(const std::string& message);

}  // namespace morvel
