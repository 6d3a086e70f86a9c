#pragma once
// The routines that hand work to the shell: open with the default action, the property sheet,
// the special folders, and the shortcut that starts the program.
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

// The path of a special folder (a CSIDL value); empty when the shell cannot supply it.
std::string GetSpecialFolderPath(ShellApi& shell, WindowHandle applicationWindow, int folderId);
std::string GetStartupFolder(ShellApi& shell, WindowHandle applicationWindow);
std::string GetDesktopFolder(ShellApi& shell, WindowHandle applicationWindow);

// "%s\%s.lnk" from the folder (one trailing separator removed) and the name.
std::string ShortcutFileName(const std::string& folder, const std::string& name, const PathRules& rules);
// Writes folder\name.lnk, a shell link to `exePath` with the arguments "/starup" and the
// executable's folder as working directory. A failure to create the link object, obtain its
// interfaces or save the file raises RuntimeError with the platform's message text, after
// every interface obtained is released.
void CreateShortcut(ShellApi& shell, const std::string& exePath, const std::string& folder, const std::string& name,
                    const PathRules& rules);

// The component object runtime of the calling thread, from construction to destruction.
class ComRuntime {
 public:
  explicit ComRuntime(ShellApi& shell) : shell_(shell) { shell_.ComInitialize(); }
  ~ComRuntime() { shell_.ComUninitialize(); }
  ComRuntime(const ComRuntime&) = delete;
  ComRuntime& operator=(const ComRuntime&) = delete;

 private:
  ShellApi& shell_;
};

// The text of a failure code as the error report shows it: the platform's message without
// trailing blanks, line breaks and full stops, or "Error 0x%08X" when it has none.
std::string ResultMessageText(ShellApi& shell, std::int32_t result);

}  // namespace morvel
