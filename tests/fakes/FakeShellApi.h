#pragma once
// A ShellApi that answers from a script and records every request.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/shell/ShellApi.h"

namespace morvel::testing {

class FakeShellApi : public ShellApi {
 public:
  struct OpenRequest {
    WindowHandle owner = 0;
    std::string target, parameters, directory;
  };

  // Script
  bool raiseOnOpen = false;
  std::optional<ShellFailure> shortcutFailure;

  // Record
  std::vector<OpenRequest> opened;
  std::vector<ShortcutRequest> shortcuts;

  bool Open(WindowHandle owner, const std::string& target, const std::string& parameters,
            const std::string& directory) override {
    opened.push_back({owner, target, parameters, directory});
    if (raiseOnOpen) throw std::runtime_error("shell failure");
    return true;
  }

  bool ShowProperties(WindowHandle, const std::string&) override { return true; }
  std::string FolderPath(WindowHandle, SpecialFolder) override { return {}; }
  std::string ShortcutExtension() override { return ".lnk"; }

  std::optional<ShellFailure> CreateShortcut(const ShortcutRequest& shortcut) override {
    shortcuts.push_back(shortcut);
    return shortcutFailure;
  }
};

}  // namespace morvel::testing
