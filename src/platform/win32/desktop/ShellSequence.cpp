#include "platform/win32/desktop/ShellSequence.h"

#include <array>
#include <utility>

namespace morvel {
namespace {

// A value the calls handed out, given back through `giveBack` when it goes out of scope.
template <typename Value, auto giveBack>
class Held {
 public:
  explicit Held(ShellCalls& calls) : calls_(calls) {}
  ~Held() {
    if (value_) (calls_.*giveBack)(value_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  Value& out() { return value_; }
  Value get() const { return value_; }

 private:
  ShellCalls& calls_;
  Value value_ = 0;
};

// One interface of a component object, released; an item list, freed with the shell's allocator.
using ComRef = Held<ComObject, &ShellCalls::Release>;
using ItemListRef = Held<ItemList, &ShellCalls::FreeItemList>;

// The failure of a call, with its message taken while the interfaces are still held.
std::optional<ShellFailure> FailureOf(ShellCalls& calls, std::int32_t result) {
  if (!Failed(result)) return std::nullopt;
  return ShellFailure{static_cast<std::uint32_t>(result), calls.ResultMessage(result)};
}

}  // namespace

ShellSequence::ShellSequence(std::unique_ptr<ShellCalls> calls) : calls_(std::move(calls)) {}

bool ShellSequence::Open(WindowHandle owner, const std::string& target, const std::string& parameters,
                         const std::string& directory) {
  constexpr std::intptr_t kStarted = 32;  // ShellExecuteA returns more on success
  return calls_->Execute(owner, std::nullopt, target, parameters, directory, kSwShow) > kStarted;
}

bool ShellSequence::ShowProperties(WindowHandle owner, const std::string& fileName) {
  ShellExecuteInfo info;
  info.mask = kPropertiesMask;
  info.window = owner;
  info.verb = "properties";
  info.file = fileName;
  return calls_->ExecuteEx(info);
}

std::string ShellSequence::FolderPath(WindowHandle owner, SpecialFolder folder) {
  const int folderId = folder == SpecialFolder::Desktop ? kCsidlDesktop : kCsidlStartup;
  std::array<char, kFolderPathBufferSize> buffer{};
  ItemListRef list(*calls_);
  if (!Failed(calls_->SpecialFolderLocation(owner, folderId, list.out())) && list.get())
    calls_->PathFromItemList(list.get(), buffer);
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string ShellSequence::ShortcutExtension() { return ".lnk"; }

std::optional<ShellFailure> ShellSequence::CreateShortcut(const ShortcutRequest& shortcut) {
  ShellCalls& calls = *calls_;
  ComRef object(calls), link(calls), file(calls);
  if (auto failure =
          FailureOf(calls, calls.CreateInstance(kClsidShellLink, kShellLinkContext, kIidUnknown, object.out())))
    return failure;
  if (auto failure = FailureOf(calls, calls.QueryInterface(object.get(), kIidShellLinkA, link.out()))) return failure;
  if (auto failure = FailureOf(calls, calls.QueryInterface(link.get(), kIidPersistFile, file.out()))) return failure;
  // The setters' results are not examined.
  calls.SetArguments(link.get(), shortcut.arguments);
  calls.SetPath(link.get(), shortcut.target);
  calls.SetWorkingDirectory(link.get(), shortcut.workingDirectory);
  return FailureOf(calls, calls.Save(file.get(), calls.AnsiToWide(shortcut.file), false));
}

}  // namespace morvel
