#pragma once
// The report's line list: the main window's memo on Windows, a widget or stdout elsewhere.
#include <string>
#include <vector>

namespace morvel {

class Lines {
 public:
  virtual ~Lines() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& line) = 0;
};

// A line list held in memory: for the console program and for tests.
class StringLines : public Lines {
 public:
  void Clear() override { lines_.clear(); }
  void Add(const std::string& line) override { lines_.push_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace morvel
