#include "app/qt/MemoLines.h"

#include "base/Text.h"

#include <QPlainTextEdit>
#include <QString>

namespace morvel::qt {

void MemoLines::Clear() { memo_.clear(); }

// The report's texts are UTF-8 on Linux, as the locale gives them; names read from a volume
// may hold control characters, which are shown escaped.
void MemoLines::Add(const std::string& line) {
  memo_.appendPlainText(QString::fromStdString(base::EscapeControls(line)));
}

}  // namespace morvel::qt
