#include "core/shell/Shell.h"

#include <array>
#include <cstdio>

#include "base/Text.h"
#include "core/runtime/RuntimeError.h"

namespace morvel {

std::string ShellFailureText(const ShellFailure& failure) {
  const std::string text = base::TrimMessageTail(failure.message);
  if (!text.empty()) return text;
  std::array<char, 24> hex{};
  std::snprintf(hex.data(), hex.size(), "Error 0x%08X", static_cast<unsigned>(failure.code));
  return hex.data();
}

void ShellOpen(ShellApi& shell, WindowHandle mainWindow, const std::string& target, const std::string& parameters,
               const PathRules& rules) {
  try {
    shell.Open(mainWindow, target, parameters, PathPart(target, rules));
  } catch (...) {
    // Opening is a convenience: a target that cannot be opened leaves the window as it is.
  }
}

void ShowFileProperties(ShellApi& shell, WindowHandle mainWindow, const std::string& fileName) {
  shell.ShowProperties(mainWindow, fileName);
}

std::string GetStartupFolder(ShellApi& shell, WindowHandle applicationWindow) {
  return shell.FolderPath(applicationWindow, SpecialFolder::Startup);
}

std::string GetDesktopFolder(ShellApi& shell, WindowHandle applicationWindow) {
  return shell.FolderPath(applicationWindow, SpecialFolder::Desktop);
}

std::string ShortcutFileName(const std::string& folder, const std::string& name, const std::string& extension,
                             const PathRules& rules) {
  return WithoutTrailingSeparator(folder, rules) + rules.separator + name + extension;
}

void CreateShortcut(ShellApi& shell, const std::string& exePath, const std::string& folder, const std::string& name,
                    const PathRules& rules) {
  ShortcutRequest shortcut;
  shortcut.file = ShortcutFileName(folder, name, shell.ShortcutExtension(), rules);
  shortcut.name = name;
  shortcut.target = exePath;
  shortcut.arguments = kShortcutArguments;
  shortcut.workingDirectory = DirectoryOf(exePath, rules);
  if (const auto failure = shell.CreateShortcut(shortcut))
    throw RuntimeError(RuntimeErrorKind::Other, ShellFailureText(*failure));
}

}  // namespace morvel
