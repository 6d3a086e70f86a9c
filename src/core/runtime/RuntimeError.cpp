#include "core/runtime/RuntimeError.h"

namespace morvel {

const char* RuntimeErrorMessage(RuntimeErrorKind kind) {
  switch (kind) {
    case RuntimeErrorKind::IntegerOverflow: return "Integer overflow";
    case RuntimeErrorKind::RangeCheck: return "Range check error";
    case RuntimeErrorKind::FloatDivisionByZero: return "Floating point division by zero";
    case RuntimeErrorKind::InvalidFloatOperation: return "Invalid floating point operation";
    case RuntimeErrorKind::Other: break;
  }
  return "";
}

RuntimeError::RuntimeError(RuntimeErrorKind kind)
    : std::runtime_error(RuntimeErrorMessage(kind)), kind_(kind) {}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind) {}

std::string ErrorReportText(const std::string& message) {
  // Compared as unsigned bytes, as the ANSI code page sorts them.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace morvel
