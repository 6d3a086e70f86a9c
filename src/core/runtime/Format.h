#pragma once
// Printf-like formatting with the runtime semantics the reports rely on:
//   %d  a 32-bit argument prints its 32 bits read as signed; a 64-bit one its full value
//   %s  text;  %f  fixed point (see FormatFixed);  %%  a percent sign
// with an optional "-" (left-align), a width, and a precision (".2").
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace morvel {

// Locale-dependent separators; "." and "," are the defaults of an English locale.
struct NumberSeparators {
  std::string decimal = ".";
  std::string thousands = ",";
};

class FormatArg {
 public:
  enum class Kind { Int32, Int64, Double, Text };
  FormatArg(std::int32_t v) : kind_(Kind::Int32), i64_(v) {}
  // An unsigned 32-bit field is printed as its bits read as signed.
  FormatArg(std::uint32_t v) : kind_(Kind::Int32), i64_(static_cast<std::int32_t>(v)) {}
  FormatArg(std::int64_t v) : kind_(Kind::Int64), i64_(v) {}
  FormatArg(double v) : kind_(Kind::Double), dbl_(v) {}
  FormatArg(std::string_view v) : kind_(Kind::Text), text_(v) {}
  FormatArg(const char* v) : kind_(Kind::Text), text_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::Text), text_(v) {}

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return i64_; }
  double real() const { return dbl_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  std::int64_t i64_ = 0;
  double dbl_ = 0.0;
  std::string_view text_;
};

// Raises RuntimeError (kind Other) with "Format '<fmt>' invalid or incompatible with argument"
// for a malformed format, a missing argument or an argument of the wrong kind.
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args,
                   const NumberSeparators& separators = {});

// Fixed-point text with `decimals` decimals: the value is first taken to its 18 most
// significant decimal digits (round to nearest), then cut after the last decimal rounding
// half away from zero. A negative value that rounds to zero prints without its sign.
std::string FormatFixed(double value, int decimals, const std::string& decimalSeparator);

}  // namespace morvel
