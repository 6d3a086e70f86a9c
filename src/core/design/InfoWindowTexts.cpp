#include "core/design/InfoWindowTexts.h"

#include "core/runtime/Format.h"
#include "core/system/FileVersion.h"
#include "core/system/MemoryStatus.h"
#include "core/system/OsDescription.h"

namespace morvel {

std::string WithoutFirstMicrosoft(std::string text) {
  constexpr std::string_view word = "Microsoft ";
  if (const auto at = text.find(word); at != std::string::npos) text.erase(at, word.size());
  return text;
}

InfoTexts MakeInfoTexts(SystemApi& api, const std::string& exePath) {
  const PathRules rules = PathRulesOf(api);
  InfoTexts texts;
  texts.exeName = FileNamePart(exePath, rules);
  texts.osVersion = WithoutFirstMicrosoft(DescribeRunningOs(api));
  texts.memPhys = GetMemoryStatusTexts(api).physical;
  texts.exeVersion = Format("Ver.%s", {ExecutableFileVersion(api, exePath)});
  return texts;
}

std::string MailLink(const std::string& address, const std::string& exePath, const PathRules& rules) {
  return Format("MailTo:%s?subject=from [%s] user", {address, FileNamePart(exePath, rules)});
}

std::string ShortcutName(const std::string& exePath, const PathRules& rules) {
  return WithoutExtension(FileNamePart(exePath, rules), rules);
}

}  // namespace morvel
