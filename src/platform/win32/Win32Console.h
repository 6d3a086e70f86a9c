#pragma once
// The console program's text on Windows: the command line as UTF-8, and UTF-8 output shown
// correctly whatever the console is.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace morvel {

// The arguments after the program's name, from the UTF-16 command line, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// For as long as it lives, UTF-8 written to std::cout and std::cerr shows as such: a console
// is switched to UTF-8 output when it accepts it (and switched back at the end), otherwise the
// text is converted to the console's own code page; output that is not a console (a file, a
// pipe) gets the UTF-8 bytes unchanged.
class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  unsigned previousCodePage_ = 0;  // 0: the code page was not changed
  std::vector<std::unique_ptr<std::streambuf>> converters_;
  std::vector<std::pair<std::ostream*, std::streambuf*>> replaced_;
};

}  // namespace morvel
