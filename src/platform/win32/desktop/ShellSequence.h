#pragma once
// The shell requests as Windows is asked them: each one's calls, in their order, with their
// parameters. Opening is ShellExecuteA with no verb; the property sheet is ShellExecuteExA
// with the "properties" verb; a folder's path comes from its item list, which is freed; a
// shortcut is a shell link object whose arguments, path and working directory are set and
// which saves itself to the link file. Every interface obtained is released on every path.
#include <memory>

#include "core/shell/ShellApi.h"
#include "platform/win32/desktop/ShellCalls.h"

namespace morvel {

class ShellSequence final : public ShellApi {
 public:
  explicit ShellSequence(std::unique_ptr<ShellCalls> calls);

  bool Open(WindowHandle owner, const std::string& target, const std::string& parameters,
            const std::string& directory) override;
  bool ShowProperties(WindowHandle owner, const std::string& fileName) override;
  std::string FolderPath(WindowHandle owner, SpecialFolder folder) override;
  std::string ShortcutExtension() override;
  std::optional<ShellFailure> CreateShortcut(const ShortcutRequest& shortcut) override;

 private:
  std::unique_ptr<ShellCalls> calls_;
};

}  // namespace morvel
