#include "core/runtime/Format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/runtime/RuntimeError.h"

namespace morvel {
namespace {

constexpr int kSignificantDigits = 18;

[[noreturn]] void FormatFault(std::string_view fmt) {
  throw RuntimeError(RuntimeErrorKind::Other,
                     "Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

// Decimal digits of |value| rounded to kSignificantDigits, and the position of the decimal
// point: value = 0.d1d2...d18 x 10^point.
struct Digits {
  std::vector<int> d;
  int point = 0;
};

Digits SignificantDigits(double magnitude) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                           kSignificantDigits - 1);
  std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
  Digits out;
  for (char c : s.substr(0, s.find('e'))) {
    if (c >= '0' && c <= '9') out.d.push_back(c - '0');
  }
  int exp = 0;
  std::string_view e = s.substr(s.find('e') + 1);
  if (!e.empty() && e.front() == '+') e.remove_prefix(1);
  std::from_chars(e.data(), e.data() + e.size(), exp);
  out.point = exp + 1;
  return out;
}

std::string ExponentForm(const Digits& dg, bool negative) {
  // Values too large for fixed notation within 18 digits: d.ddd...E+dd, trailing zeros dropped.
  std::string mant;
  mant.push_back(static_cast<char>('0' + dg.d.front()));
  std::size_t last = dg.d.size();
  while (last > 1 && dg.d[last - 1] == 0) --last;
  if (last > 1) {
    mant.push_back('.');
    for (std::size_t i = 1; i < last; ++i) mant.push_back(static_cast<char>('0' + dg.d[i]));
  }
  std::string exp = std::to_string(dg.point - 1);
  if (exp.size() < 2) exp = "0" + exp;
  return (negative ? "-" : "") + mant + "E+" + exp;
}

}  // namespace

std::string FormatFixed(double value, int decimals, const std::string& decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  const bool negative = std::signbit(value);
  Digits dg;
  if (value != 0.0) dg = SignificantDigits(std::fabs(value));
  if (dg.point > kSignificantDigits) return ExponentForm(dg, negative);

  // Keep the digits up to the last decimal, rounding half away from zero on the next one.
  const int keep = dg.point + decimals;
  std::vector<int> kept;
  if (keep > 0) kept.assign(dg.d.begin(), dg.d.begin() + std::min<int>(keep, static_cast<int>(dg.d.size())));
  const bool roundUp = keep >= 0 && keep < static_cast<int>(dg.d.size()) &&
                       dg.d[static_cast<std::size_t>(keep)] >= 5;
  int point = dg.point;
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == 9) kept[static_cast<std::size_t>(i--)] = 0;
    if (i >= 0) {
      ++kept[static_cast<std::size_t>(i)];
    } else {
      // Carry out of the leading digit (also when no digit was kept: 0.005 -> 0.01).
      kept.insert(kept.begin(), 1);
      ++point;
    }
  }
  auto digitAt = [&](int pos) {  // pos counts from the first significant digit
    return pos >= 0 && pos < static_cast<int>(kept.size()) ? kept[static_cast<std::size_t>(pos)] : 0;
  };
  std::string intPart;
  for (int pos = 0; pos < point; ++pos) intPart.push_back(static_cast<char>('0' + digitAt(pos)));
  if (intPart.empty()) intPart = "0";
  std::string frac;
  for (int k = 0; k < decimals; ++k) frac.push_back(static_cast<char>('0' + digitAt(point + k)));

  bool zero = true;
  for (int v : kept) zero = zero && v == 0;
  std::string out = (negative && !zero) ? "-" : "";
  out += intPart;
  if (decimals > 0) out += decimalSeparator + frac;
  return out;
}

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args,
                   const NumberSeparators& separators) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out.push_back(fmt[i]);
      continue;
    }
    if (++i >= fmt.size()) FormatFault(fmt);
    if (fmt[i] == '%') {
      out.push_back('%');
      continue;
    }
    bool left = false;
    if (fmt[i] == '-') {
      left = true;
      if (++i >= fmt.size()) FormatFault(fmt);
    }
    std::size_t width = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') width = width * 10 + static_cast<std::size_t>(fmt[i++] - '0');
    int precision = -1;
    if (i < fmt.size() && fmt[i] == '.') {
      precision = 0;
      while (++i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') precision = precision * 10 + (fmt[i] - '0');
    }
    if (i >= fmt.size() || next == args.end()) FormatFault(fmt);
    const FormatArg& arg = *next++;
    std::string piece;
    switch (fmt[i]) {
      case 'd':
        if (arg.kind() != FormatArg::Kind::Int32 && arg.kind() != FormatArg::Kind::Int64) FormatFault(fmt);
        piece = std::to_string(arg.integer());
        break;
      case 's':
        if (arg.kind() != FormatArg::Kind::Text) FormatFault(fmt);
        piece = std::string(arg.text());
        if (precision >= 0 && piece.size() > static_cast<std::size_t>(precision)) piece.resize(static_cast<std::size_t>(precision));
        break;
      case 'f':
        if (arg.kind() != FormatArg::Kind::Double) FormatFault(fmt);
        piece = FormatFixed(arg.real(), precision < 0 ? 2 : precision, separators.decimal);
        break;
      default:
        FormatFault(fmt);
    }
    if (piece.size() < width) {
      std::string pad(width - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

}  // namespace morvel
