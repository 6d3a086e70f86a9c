#pragma once
// The report's line list over the main window's memo.
#include <string>

#include "core/report/Lines.h"

class QPlainTextEdit;

namespace morvel::qt {

class MemoLines final : public Lines {
 public:
  explicit MemoLines(QPlainTextEdit& memo) : memo_(memo) {}
  void Clear() override;
  void Add(const std::string& line) override;

 private:
  QPlainTextEdit& memo_;
};

}  // namespace morvel::qt
