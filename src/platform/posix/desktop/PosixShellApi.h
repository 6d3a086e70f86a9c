#pragma once
// The shell requests on Linux: open with xdg-open, the property sheet through the file
// manager's D-Bus interface, the special folders of the XDG conventions, and the shortcut as a
// freedesktop launcher "NAME.desktop" (Type=Application, Exec with the target's absolute path
// and the arguments, Path, Icon, Name), executable, written to a temporary file in the same
// folder and renamed over the destination, so a symlink there is replaced and never followed.
// A failure is the errno value, with a message that names the path. Programs are started fire
// and forget.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/shell/ShellApi.h"

namespace morvel {

// The icon a launcher names: the program's icon in the hicolor theme, as installed.
inline constexpr std::string_view kLauncherIcon = "morvel";

struct PosixShellConfig {
  std::string opener = "xdg-open";  // program that opens a file or address
  std::string dbusSend = "dbus-send";
  std::string gdbus = "gdbus";
};

std::unique_ptr<ShellApi> MakePosixShellApi(PosixShellConfig config = {});

// XDG_<NAME>_DIR of a user-dirs.dirs text, with "$HOME/" expanded; absent when missing or not
// an absolute or $HOME path.
std::optional<std::string> UserDirFrom(std::string_view userDirs, std::string_view name, const std::string& home);
// The desktop: XDG user dirs, else $HOME/Desktop. The startup folder: $XDG_CONFIG_HOME/autostart.
std::string DesktopFolder();
std::string StartupFolder();

// "file://" with every byte outside A-Z a-z 0-9 - . _ ~ / percent-encoded.
std::string FileUri(std::string_view path);

}  // namespace morvel
