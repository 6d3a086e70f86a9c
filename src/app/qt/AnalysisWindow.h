#pragma once
// The analysis of the volume last reported, in a window of its own opened by "Analyze..." of
// the report memo's context menu: the text --analyze prints after the report.
#include <QPlainTextEdit>
#include <QWidget>
#include <string>
#include <vector>

namespace morvel::qt {

class AnalysisWindow final : public QWidget {
  Q_OBJECT

 public:
  // `lines` are the analysis as core/scan renders it, texts from the volume already escaped.
  AnalysisWindow(const std::vector<std::string>& lines, const std::string& title, QWidget* parent = nullptr);

  QPlainTextEdit* text() const { return text_; }

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace morvel::qt
