#pragma once
// The analysis or the consistency check of the volume last reported, in a window of its own
// opened by "Analyze..." or "Check..." of the report memo's context menu: the text --analyze or
// --check prints after the report.
#include <QPlainTextEdit>
#include <QWidget>
#include <string>
#include <vector>

namespace morvel::qt {

class AnalysisWindow final : public QWidget {
  Q_OBJECT

 public:
  // `lines` are the scan as core/scan renders it, texts from the volume already escaped;
  // `caption` is the window's title ("Analysis of C:").
  AnalysisWindow(const std::vector<std::string>& lines, const std::string& caption, QWidget* parent = nullptr);

  QPlainTextEdit* text() const { return text_; }

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace morvel::qt
