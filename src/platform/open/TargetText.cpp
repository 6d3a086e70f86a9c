#include "platform/open/TargetOpener.h"

namespace morvel {

char DriveLetterOf(std::string_view text) {
  if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return 0;
  const char c = text[0];
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? c : 0;
}

}  // namespace morvel
