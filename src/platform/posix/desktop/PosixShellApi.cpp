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
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"
#include "core/shell/ShellLink.h"
#include "platform/posix/PosixFile.h"

namespace morvel {
namespace {

constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kENoInterface = static_cast<std::int32_t>(0x80004002u);
constexpr std::int32_t kClassNotRegistered = static_cast<std::int32_t>(0x80040154u);
constexpr std::int32_t kErrnoFacility = static_cast<std::int32_t>(0x80070000u);
constexpr std::intptr_t kStarted = 42, kNotStarted = 2;  // above 32 means started

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

// One shell link object: the fields its setters store, written on Save.
struct LinkState {
  ShellLinkFields fields;
};

std::int32_t FromErrno(int error) { return kErrnoFacility | (error & 0xFFFF); }

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

// The launcher's file name for the name the shell routines give the link file.
std::string LauncherPath(const std::string& linkFile) {
  constexpr std::string_view kLink = ".lnk";
  if (!linkFile.ends_with(kLink)) return linkFile;
  return linkFile.substr(0, linkFile.size() - kLink.size()) + ".desktop";
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

// The freedesktop launcher that stands for a shell link on Linux: the program's absolute path
// and its arguments, its folder, the installed icon, and the link's name.
int LauncherText(const ShellLinkFields& link, std::string_view name, std::string& text) {
  for (const std::string_view part : {std::string_view(link.targetPath), std::string_view(link.arguments),
                                      std::string_view(link.workingDirectory), name})
    if (const int error = CheckEntryText(part)) return error;
  std::string exec = ExecArgument(link.targetPath);
  if (!link.arguments.empty()) exec += " " + ExecArgument(link.arguments);
  text = "[Desktop Entry]\nType=Application\nName=" + EntryValue(name) + "\nExec=" + EntryValue(exec) + "\n";
  if (!link.workingDirectory.empty()) text += "Path=" + EntryValue(link.workingDirectory) + "\n";
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

class PosixShellApi final : public ShellApi {
 public:
  explicit PosixShellApi(PosixShellConfig config) : config_(std::move(config)) {}

  std::intptr_t Execute(WindowHandle, const std::optional<std::string>&, const std::string& file,
                        const std::optional<std::string>&, const std::optional<std::string>& directory,
                        std::int32_t) override {
    return Spawn(config_.opener, {file}, directory.value_or("")) ? kStarted : kNotStarted;
  }

  bool ExecuteEx(const ShellExecuteInfo& info) override {
    if (info.verb != "properties" || !info.file) return false;
    const std::string uri = FileUri(*info.file);
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

  std::int32_t SpecialFolderLocation(WindowHandle, int folderId, ItemList& list) override {
    std::string path;
    if (folderId == kCsidlDesktop)
      path = DesktopFolder();
    else if (folderId == kCsidlStartup)
      path = StartupFolder();
    else
      return kEFail;
    list = ++lastList_;
    lists_[list] = path;
    return kSOk;
  }

  bool PathFromItemList(ItemList list, std::span<char> buffer) override {
    const auto it = lists_.find(list);
    if (it == lists_.end() || it->second.size() + 1 > buffer.size()) return false;
    std::memcpy(buffer.data(), it->second.c_str(), it->second.size() + 1);
    return true;
  }

  void FreeItemList(ItemList list) override { lists_.erase(list); }

  std::int32_t ComInitialize() override { return kSOk; }
  void ComUninitialize() override {}

  std::int32_t CreateInstance(const Guid& classId, std::uint32_t, const Guid& interfaceId, ComObject& object) override {
    if (classId != kClsidShellLink) return kClassNotRegistered;
    return Hand(std::make_shared<LinkState>(), interfaceId, object);
  }

  std::int32_t QueryInterface(ComObject object, const Guid& interfaceId, ComObject& result) override {
    const auto it = objects_.find(object);
    if (it == objects_.end()) return kEFail;
    return Hand(it->second, interfaceId, result);
  }

  std::uint32_t Release(ComObject object) override {
    objects_.erase(object);
    return 0;
  }

  std::int32_t SetArguments(ComObject link, const std::string& text) override {
    return Set(link, &ShellLinkFields::arguments, text);
  }
  std::int32_t SetPath(ComObject link, const std::string& text) override {
    return Set(link, &ShellLinkFields::targetPath, text);
  }
  std::int32_t SetWorkingDirectory(ComObject link, const std::string& text) override {
    return Set(link, &ShellLinkFields::workingDirectory, text);
  }

  std::int32_t Save(ComObject persistFile, const std::u16string& fileName, bool) override {
    const auto it = objects_.find(persistFile);
    if (it == objects_.end()) return kEFail;
    const std::string path = LauncherPath(base::Utf16ToUtf8(fileName));
    const std::size_t slash = path.rfind('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    name.resize(name.size() - (name.ends_with(".desktop") ? 8 : 0));
    std::string text;
    int error = LauncherText(it->second->fields, name, text);
    if (error == 0) error = WriteReplacing(path, text);
    if (error == 0) return kSOk;
    failure_ = {FromErrno(error), path};
    return failure_.first;
  }

  std::string ResultMessage(std::int32_t result) override {
    if ((result & static_cast<std::int32_t>(0xFFFF0000u)) == kErrnoFacility) {
      char buffer[256] = {};
      const std::string message = ::strerror_r(result & 0xFFFF, buffer, sizeof buffer);
      // The file a failed write was meant for, named as a path is shown: control characters escaped.
      return result == failure_.first ? base::EscapeControls(failure_.second) + ": " + message : message;
    }
    switch (result) {
      case kENoInterface:
        return "No such interface supported";
      case kClassNotRegistered:
        return "Class not registered";
      case kEFail:
        return "Unspecified error";
      default:
        return {};
    }
  }

  std::u16string AnsiToWide(const std::string& text) override { return base::Utf8ToUtf16(text); }

 private:
  std::int32_t Hand(const std::shared_ptr<LinkState>& state, const Guid& interfaceId, ComObject& out) {
    if (interfaceId != kIidUnknown && interfaceId != kIidShellLinkA && interfaceId != kIidPersistFile)
      return kENoInterface;
    out = ++lastObject_;
    objects_[out] = state;
    return kSOk;
  }

  std::int32_t Set(ComObject link, std::string ShellLinkFields::*field, const std::string& text) {
    const auto it = objects_.find(link);
    if (it == objects_.end()) return kEFail;
    it->second->fields.*field = text;
    return kSOk;
  }

  PosixShellConfig config_;
  std::map<ItemList, std::string> lists_;
  ItemList lastList_ = 0;
  std::map<ComObject, std::shared_ptr<LinkState>> objects_;
  ComObject lastObject_ = 0;
  std::pair<std::int32_t, std::string> failure_{kSOk, {}};  // the last failed Save and its path
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
