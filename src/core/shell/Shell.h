#pragma once
// The routines that hand work to the desktop: open with the default action, the property
// sheet, the special folders, and the shortcut that starts the program.
#include <string>

#include "core/shell/PathRules.h"
#include "core/shell/ShellApi.h"

namespace morvel {

inline constexpr const char* kShortcutArguments = "/starup";

// Opens `target` with the default action, in the folder of its path part. Never fails: any
// error is dropped, the caller carries on.
void ShellOpen(ShellApi& shell, WindowHandle mainWindow, const std::string& target, const std::string& parameters,
               const PathRules& rules);
// The property sheet of `fileName`, with no error box from the shell.
void ShowFileProperties(ShellApi& shell, WindowHandle mainWindow, const std::string& fileName);

// The path of the folder; empty when the desktop cannot supply it.
std::string GetStartupFolder(ShellApi& shell, WindowHandle applicationWindow);
std::string GetDesktopFolder(ShellApi& shell, WindowHandle applicationWindow);

// "%s\%s%s" from the folder (one trailing separator removed), the name and the extension.
std::string ShortcutFileName(const std::string& folder, const std::string& name, const std::string& extension,
                             const PathRules& rules);
// Writes the shortcut `name` into `folder`: it starts `exePath` with the arguments "/starup" in
// the executable's folder. A failure raises RuntimeError with the platform's message text.
void CreateShortcut(ShellApi& shell, const std::string& exePath, const std::string& folder, const std::string& name,
                    const PathRules& rules);

// The text of a failure as the error report shows it: the platform's message without trailing
// blanks, line breaks and full stops, or "Error 0x%08X" of its code when it has none.
std::string ShellFailureText(const ShellFailure& failure);

}  // namespace morvel
