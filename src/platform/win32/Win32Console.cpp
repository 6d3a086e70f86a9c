#include "platform/win32/Win32Console.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "base/Utf.h"

namespace morvel {
namespace {

bool IsConsole(DWORD stdHandle) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(stdHandle), &mode) != FALSE;
}

// Passes UTF-8 on to `target` in the console's code page, a line at a time (a line never
// ends inside a character); characters the code page lacks become its default character.
class CodePageBuffer final : public std::streambuf {
 public:
  CodePageBuffer(std::streambuf* target, UINT codePage) : target_(target), codePage_(codePage) {}
  ~CodePageBuffer() override { Flush(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n' && !Flush()) return traits_type::eof();
    return c;
  }
  int sync() override { return Flush() && target_->pubsync() == 0 ? 0 : -1; }

 private:
  bool Flush() {
    if (pending_.empty()) return true;
    const std::u16string utf16 = base::Utf8ToUtf16(pending_);
    pending_.clear();
    const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
    const int length = static_cast<int>(utf16.size());
    const int size = ::WideCharToMultiByte(codePage_, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage_, 0, wide, length, text.data(), size, nullptr, nullptr);
    return target_->sputn(text.data(), size) == size;
  }

  std::streambuf* target_;
  UINT codePage_;
  std::string pending_;
};

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    args.push_back(base::Utf16ToUtf8(std::u16string(arg.begin(), arg.end())));
  }
  return args;
}

ConsoleText::ConsoleText() {
  const bool consoleOut = IsConsole(STD_OUTPUT_HANDLE);
  const bool consoleErr = IsConsole(STD_ERROR_HANDLE);
  if (!consoleOut && !consoleErr) return;
  const UINT current = ::GetConsoleOutputCP();
  if (current == CP_UTF8) return;
  if (::SetConsoleOutputCP(CP_UTF8)) {
    previousCodePage_ = current;
    return;
  }
  const auto convert = [&](std::ostream& stream) {
    converters_.push_back(std::make_unique<CodePageBuffer>(stream.rdbuf(), current));
    replaced_.emplace_back(&stream, stream.rdbuf(converters_.back().get()));
  };
  if (consoleOut) convert(std::cout);
  if (consoleErr) convert(std::cerr);
}

ConsoleText::~ConsoleText() {
  for (auto& [stream, original] : replaced_) {
    stream->flush();
    stream->rdbuf(original);
  }
  if (previousCodePage_ != 0) {
    std::cout.flush();
    std::cerr.flush();
    ::SetConsoleOutputCP(previousCodePage_);
  }
}

}  // namespace morvel
