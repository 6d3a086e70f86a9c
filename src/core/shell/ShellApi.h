#pragma once
// What the shell routines ask of the desktop: open a target with its default action, show a
// file's property sheet, the paths of the desktop and startup folders, and write the shortcut
// that starts the program. Windows answers through its shell and its shell link object, Linux
// through the opener program, the file manager's D-Bus interface, the XDG folders and a
// launcher file.
#include <cstdint>
#include <optional>
#include <string>

namespace morvel {

// A window as an opaque value: the owner of what the desktop shows; 0 for none.
using WindowHandle = std::uintptr_t;

enum class SpecialFolder { Desktop, Startup };

// The shortcut to write: its file, the name it goes by, and the program it starts with its
// arguments in its working directory.
struct ShortcutRequest {
  std::string file;
  std::string name;
  std::string target;
  std::string arguments;
  std::string workingDirectory;
};

// Why a request failed: the platform's code and its message text for it, as the platform
// gives it; empty when it has none.
struct ShellFailure {
  std::uint32_t code = 0;
  std::string message;
};

class ShellApi {
 public:
  virtual ~ShellApi() = default;

  // Opens `target` with its default action and `parameters`, started in `directory`; true when
  // the platform started it.
  virtual bool Open(WindowHandle owner, const std::string& target, const std::string& parameters,
                    const std::string& directory) = 0;
  // The property sheet of `fileName`, with no error box of the platform's own; true when shown.
  virtual bool ShowProperties(WindowHandle owner, const std::string& fileName) = 0;
  // The folder's path; empty when the platform cannot supply it.
  virtual std::string FolderPath(WindowHandle owner, SpecialFolder folder) = 0;
  // What a shortcut's file name ends in (".lnk", ".desktop").
  virtual std::string ShortcutExtension() = 0;
  // Writes the shortcut, replacing one of the same name; nothing on success.
  virtual std::optional<ShellFailure> CreateShortcut(const ShortcutRequest& shortcut) = 0;
};

}  // namespace morvel
