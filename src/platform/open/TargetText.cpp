#include "platform/open/TargetOpener.h"

namespace morvel {

char DriveLetterOf(std::string_view text) {
  if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return 0;
  const char c = text[0];
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? c : 0;
}

OpenedTarget TargetOpener::Open(const std::string& text, PartitionChoice choice) {
  OpenedTarget target;
  target.title = text;
  if (const char letter = DriveLetterOf(text); letter != 0) {
    target.title = std::string(1, letter);
    target.letter = letter;
    target.volume = OpenDrive(letter);
  } else {
    OpenPath(text, choice, target);
  }
  return target;
}

}  // namespace morvel
