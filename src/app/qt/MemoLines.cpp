#include "app/qt/MemoLines.h"

#include <QPlainTextEdit>
#include <QString>

namespace morvel::qt {

void MemoLines::Clear() { memo_.clear(); }

// The report's texts are UTF-8 on Linux, as the locale gives them.
void MemoLines::Add(const std::string& line) { memo_.appendPlainText(QString::fromStdString(line)); }

}  // namespace morvel::qt
