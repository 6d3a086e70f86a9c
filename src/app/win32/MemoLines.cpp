#include "app/win32/MemoLines.h"

#include "base/Text.h"

#include <vector>

namespace morvel::win32 {
namespace {

std::string WindowText(HWND window) {
  std::vector<char> text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1);
  const int n = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

std::size_t CountLines(const std::string& text) {
  if (text.empty()) return 0;
  std::size_t count = 1;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
  return count;
}

}  // namespace

MemoLines::MemoLines(HWND memo) : memo_(memo), count_(CountLines(WindowText(memo))) {}

void MemoLines::Clear() {
  ::SetWindowTextA(memo_, "");
  count_ = 0;
}

void MemoLines::Add(const std::string& line) {
  // Every line after the first starts with the break that ends its predecessor, so the text
  // never ends with an empty line of its own.
  // A control character from a name must not break or forge a line: it is shown escaped.
  const std::string shown = base::EscapeControls(line, base::TextEncoding::Ansi);
  const std::string piece = count_ == 0 ? shown : "\r\n" + shown;
  const int end = ::GetWindowTextLengthA(memo_);
  ::SendMessageA(memo_, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  ::SendMessageA(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
  ++count_;
}

}  // namespace morvel::win32
