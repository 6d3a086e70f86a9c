#pragma once
// The report's line list over the main window's memo: its text is the lines joined by CR LF.
#include <windows.h>

#include <string>

#include "core/report/Lines.h"

namespace morvel::win32 {

class MemoLines final : public Lines {
 public:
  // Continues the lines the memo already shows.
  explicit MemoLines(HWND memo);

  // Empties the memo.
  void Clear() override;
  // Appends `line` as the memo's new last line, without rewriting what is there.
  void Add(const std::string& line) override;

 private:
  HWND memo_;
  std::size_t count_ = 0;
};

}  // namespace morvel::win32
