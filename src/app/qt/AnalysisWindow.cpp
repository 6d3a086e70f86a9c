#include "app/qt/AnalysisWindow.h"

#include <QFontDatabase>
#include <QVBoxLayout>

namespace morvel::qt {

AnalysisWindow::AnalysisWindow(const std::vector<std::string>& lines, const std::string& caption, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName("AnalysisWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString(caption));
  auto* layout = new QVBoxLayout(this);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName("AnalysisText");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  // The renderer puts an empty line before its section: not at the window's top.
  while (!text.isEmpty() && text.front().isEmpty()) text.pop_front();
  text_->setPlainText(text.join('\n'));
  layout->addWidget(text_);
  resize(720, 560);
}

}  // namespace morvel::qt
