#include "platform/posix/desktop/PosixShellApi.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"
#include "platform/posix/PosixFile.h"

namespace morvel {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Home() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) return user->pw_dir;
  return "/";
}

std::string ConfigHome() {
  const std::string config = Env("XDG_CONFIG_HOME");
  return !config.empty() && config.front() == '/' ? config : Home() + "/.config";
}

// The program's full path from PATH, or empty.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  std::stringstream path(Env("PATH"));
  for (std::string dir; std::getline(path, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Starts a program detached: an intermediate child starts it and exits at once, so the program
// is never waited for and leaves no zombie. Only async-signal-safe calls run after fork.
bool Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& directory) {
  const std::string path = FindProgram(program);
  if (path.empty()) return false;
  std::vector<const char*> argv{path.c_str()};
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
      if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
        // The folder is a courtesy to the program; it starts in ours without it.
      }
      ::execv(path.c_str(), const_cast<char* const*>(argv.data()));
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

// A value of a desktop entry's string type: the escapes the format defines for backslash, line
// breaks and tabs, and a leading space kept as \s.
std::string EntryValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
  return out;
}

// One argument of an Exec key: plain when it holds no reserved character, else double-quoted
// with ", `, $ and \ escaped; "%" is doubled in either case, as field codes begin with it.
std::string ExecArgument(std::string_view arg) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
  std::string out = quote ? "\"" : "";
  for (const char c : arg) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  return quote ? out + '"' : out;
}

// Texts a desktop entry can carry: UTF-8 without control characters other than the line breaks
// and tabs its escapes spell out.
int CheckEntryText(std::string_view text) {
  std::u16string wide;
  if (!base::TryUtf8ToUtf16(text, wide)) return EILSEQ;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t' && c != '\n' && c != '\r') || b == 0x7F) return EINVAL;
  }
  return 0;
}

// The freedesktop launcher of a shortcut: the program's absolute path and its arguments, its
// folder, the installed icon, and the shortcut's name.
int LauncherText(const ShortcutRequest& shortcut, std::string& text) {
  for (const std::string* part : {&shortcut.target, &shortcut.arguments, &shortcut.workingDirectory, &shortcut.name})
    if (const int error = CheckEntryText(*part)) return error;
  std::string exec = ExecArgument(shortcut.target);
  if (!shortcut.arguments.empty()) exec += " " + ExecArgument(shortcut.arguments);
  text = "[Desktop Entry]\nType=Application\nName=" + EntryValue(shortcut.name) + "\nExec=" + EntryValue(exec) + "\n";
  if (!shortcut.workingDirectory.empty()) text += "Path=" + EntryValue(shortcut.workingDirectory) + "\n";
  text += "Icon=" + std::string(kLauncherIcon) + "\nTerminal=false\n";
  return 0;
}

// Writes the bytes to a new file in the destination's folder and renames it over the
// destination: a reader never sees half a file, and a symlink planted at the destination is
// replaced, never followed. The launcher is executable, as desktops require to start it.
int WriteReplacing(const std::string& path, std::string_view bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) return errno;
  const auto fail = [&temp](int error) {
    ::unlink(temp.c_str());
    return error;
  };
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd.get(), 0755) != 0 || ::fsync(fd.get()) != 0) return fail(errno);
  if (::close(fd.release()) != 0) return fail(errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
  return 0;
}

// The message of a failed write: the file it was meant for, named as a path is shown (control
// characters escaped), and the system's text for the error.
std::string WriteFailureText(const std::string& path, int error) {
  char buffer[256] = {};
  return base::EscapeControls(path) + ": " + ::strerror_r(error, buffer, sizeof buffer);
}

class PosixShellApi final : public ShellApi {
 public:
  explicit PosixShellApi(PosixShellConfig config) : config_(std::move(config)) {}

  bool Open(WindowHandle, const std::string& target, const std::string&, const std::string& directory) override {
    return Spawn(config_.opener, {target}, directory);
  }

  bool ShowProperties(WindowHandle, const std::string& fileName) override {
    const std::string uri = FileUri(fileName);
    if (Spawn(
            config_.dbusSend,
            {"--session", "--dest=org.freedesktop.FileManager1", "--type=method_call", "/org/freedesktop/FileManager1",
             "org.freedesktop.FileManager1.ShowItemProperties", "array:string:" + uri, "string:"},
            ""))
      return true;
    return Spawn(config_.gdbus,
                 {"call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                  "/org/freedesktop/FileManager1", "--method", "org.freedesktop.FileManager1.ShowItemProperties",
                  "['" + uri + "']", "''"},
                 "");
  }

  std::string FolderPath(WindowHandle, SpecialFolder folder) override {
    return folder == SpecialFolder::Desktop ? DesktopFolder() : StartupFolder();
  }

  std::string ShortcutExtension() override { return ".desktop"; }

  std::optional<ShellFailure> CreateShortcut(const ShortcutRequest& shortcut) override {
    std::string text;
    int error = LauncherText(shortcut, text);
    if (error == 0) error = WriteReplacing(shortcut.file, text);
    if (error == 0) return std::nullopt;
    return ShellFailure{static_cast<std::uint32_t>(error), WriteFailureText(shortcut.file, error)};
  }

 private:
  PosixShellConfig config_;
};

}  // namespace

std::unique_ptr<ShellApi> MakePosixShellApi(PosixShellConfig config) {
  return std::make_unique<PosixShellApi>(std::move(config));
}

std::optional<std::string> UserDirFrom(std::string_view userDirs, std::string_view name, const std::string& home) {
  const std::string key = "XDG_" + std::string(name) + "_DIR=";
  std::istringstream lines{std::string(userDirs)};
  for (std::string line; std::getline(lines, line);) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
    value = value.substr(1, value.size() - 2);
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      unescaped += value[i];
    }
    if (unescaped == "$HOME") return home;
    if (unescaped.starts_with("$HOME/")) return home + unescaped.substr(5);
    if (unescaped.starts_with("/")) return unescaped;
    return std::nullopt;
  }
  return std::nullopt;
}

std::string DesktopFolder() {
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return UserDirFrom(text, "DESKTOP", Home()).value_or(Home() + "/Desktop");
}

std::string StartupFolder() { return ConfigHome() + "/autostart"; }

std::string FileUri(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                       b == '.' || b == '_' || b == '~' || b == '/';
    if (plain) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[b >> 4];
      uri += kHex[b & 15];
    }
  }
  return uri;
}

}  // namespace morvel
