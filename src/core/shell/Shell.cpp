#include "core/shell/Shell.h"

#include "base/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/runtime/Format.h"
#include "core/runtime/RuntimeError.h"

namespace morvel {
namespace {

// One interface of a component object, released when it goes out of scope.
class ComRef {
 public:
  explicit ComRef(ShellApi& shell) : shell_(shell) {}
  ~ComRef() {
    if (object_) shell_.Release(object_);
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  ComObject& out() { return object_; }
  ComObject get() const { return object_; }

 private:
  ShellApi& shell_;
  ComObject object_ = 0;
};

// An item list, freed with the shell's allocator when it goes out of scope.
class ItemListRef {
 public:
  explicit ItemListRef(ShellApi& shell) : shell_(shell) {}
  ~ItemListRef() {
    if (list_) shell_.FreeItemList(list_);
  }
  ItemListRef(const ItemListRef&) = delete;
  ItemListRef& operator=(const ItemListRef&) = delete;

  ItemList& out() { return list_; }
  ItemList get() const { return list_; }

 private:
  ShellApi& shell_;
  ItemList list_ = 0;
};

void Check(ShellApi& shell, std::int32_t result) {
  if (Failed(result)) throw RuntimeError(RuntimeErrorKind::Other, ResultMessageText(shell, result));
}

}  // namespace

std::string ResultMessageText(ShellApi& shell, std::int32_t result) {
  const std::string text = base::TrimMessageTail(shell.ResultMessage(result));
  if (!text.empty()) return text;
  std::array<char, 24> hex{};
  std::snprintf(hex.data(), hex.size(), "Error 0x%08X", static_cast<unsigned>(result));
  return hex.data();
}

void ShellOpen(ShellApi& shell, WindowHandle mainWindow, const std::string& target, const std::string& parameters,
               const PathRules& rules) {
  try {
    shell.Execute(mainWindow, std::nullopt, target, parameters, PathPart(target, rules), kSwShow);
  } catch (...) {
    // Opening is a convenience: a target that cannot be opened leaves the window as it is.
  }
}

void ShowFileProperties(ShellApi& shell, WindowHandle mainWindow, const std::string& fileName) {
  ShellExecuteInfo info;
  info.size = kShellExecuteInfoSize;
  info.mask = kPropertiesMask;
  info.window = mainWindow;
  info.verb = "properties";
  info.file = fileName;
  shell.ExecuteEx(info);
}

std::string GetSpecialFolderPath(ShellApi& shell, WindowHandle applicationWindow, int folderId) {
  std::array<char, kFolderPathBufferSize> buffer{};
  ItemListRef list(shell);
  if (!Failed(shell.SpecialFolderLocation(applicationWindow, folderId, list.out())) && list.get())
    shell.PathFromItemList(list.get(), buffer);
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string GetStartupFolder(ShellApi& shell, WindowHandle applicationWindow) {
  return GetSpecialFolderPath(shell, applicationWindow, kCsidlStartup);
}

std::string GetDesktopFolder(ShellApi& shell, WindowHandle applicationWindow) {
  return GetSpecialFolderPath(shell, applicationWindow, kCsidlDesktop);
}

std::string ShortcutFileName(const std::string& folder, const std::string& name, const PathRules& rules) {
  return WithoutTrailingSeparator(folder, rules) + rules.separator + name + ".lnk";
}

void CreateShortcut(ShellApi& shell, const std::string& exePath, const std::string& folder, const std::string& name,
                    const PathRules& rules) {
  ComRef object(shell), link(shell), file(shell);
  Check(shell, shell.CreateInstance(kClsidShellLink, kShellLinkContext, kIidUnknown, object.out()));
  Check(shell, shell.QueryInterface(object.get(), kIidShellLinkA, link.out()));
  Check(shell, shell.QueryInterface(link.get(), kIidPersistFile, file.out()));
  // The setters' results are not examined.
  shell.SetArguments(link.get(), kShortcutArguments);
  shell.SetPath(link.get(), exePath);
  shell.SetWorkingDirectory(link.get(), DirectoryOf(exePath, rules));
  const std::string linkFile = ShortcutFileName(folder, name, rules);
  Check(shell, shell.Save(file.get(), shell.AnsiToWide(linkFile), false));
}

}  // namespace morvel
