#pragma once
// ShellCalls that answer from a script and record every call with its arguments.
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/desktop/ShellCalls.h"

namespace morvel::testing {

class FakeShellCalls : public ShellCalls {
 public:
  struct ExecuteCall {
    WindowHandle owner = 0;
    std::optional<std::string> verb;
    std::string file;
    std::optional<std::string> parameters;
    std::optional<std::string> directory;
    std::int32_t show = 0;
  };

  // Script
  std::map<int, std::string> folders;                // CSIDL -> path
  std::int32_t createResult = kSOk;                  // CoCreateInstance
  std::map<std::string, std::int32_t> queryResults;  // "ShellLinkA" / "PersistFile" -> failure code
  std::int32_t saveResult = kSOk;
  std::map<std::int32_t, std::string> messages;  // failure code -> message text
  bool raiseOnExecute = false;

  // Record
  std::vector<std::string> calls;
  std::vector<ExecuteCall> executed;
  std::vector<ShellExecuteInfo> executedEx;
  std::vector<WindowHandle> folderOwners;
  std::vector<int> folderIds;
  std::vector<std::size_t> pathBufferSizes;
  std::vector<ItemList> freedLists;
  std::vector<Guid> createdClasses, createdInterfaces;
  std::vector<std::uint32_t> createContexts;
  std::vector<Guid> queriedInterfaces;
  std::string arguments, path, workingDirectory;
  std::vector<std::u16string> savedNames;
  std::vector<bool> savedRemember;
  int liveObjects = 0;  // interfaces handed out and not yet released
  int liveLists = 0;

  std::intptr_t Execute(WindowHandle owner, const std::optional<std::string>& verb, const std::string& file,
                        const std::optional<std::string>& parameters, const std::optional<std::string>& directory,
                        std::int32_t show) override {
    calls.push_back("Execute");
    executed.push_back({owner, verb, file, parameters, directory, show});
    if (raiseOnExecute) throw std::runtime_error("shell failure");
    return 42;
  }

  bool ExecuteEx(const ShellExecuteInfo& info) override {
    calls.push_back("ExecuteEx");
    executedEx.push_back(info);
    return true;
  }

  std::int32_t SpecialFolderLocation(WindowHandle owner, int folderId, ItemList& list) override {
    calls.push_back("SpecialFolderLocation");
    folderOwners.push_back(owner);
    folderIds.push_back(folderId);
    if (!folders.contains(folderId)) return static_cast<std::int32_t>(0x80004005u);  // E_FAIL
    list = 0x500 + static_cast<ItemList>(folderId);
    ++liveLists;
    return kSOk;
  }

  bool PathFromItemList(ItemList list, std::span<char> buffer) override {
    calls.push_back("PathFromItemList");
    pathBufferSizes.push_back(buffer.size());
    const std::string& text = folders.at(static_cast<int>(list - 0x500));
    if (text.size() + 1 > buffer.size()) return false;
    std::copy(text.begin(), text.end(), buffer.begin());
    buffer[text.size()] = '\0';
    return true;
  }

  void FreeItemList(ItemList list) override {
    calls.push_back("FreeItemList");
    freedLists.push_back(list);
    --liveLists;
  }

  static constexpr ComObject kObject = 0x10, kShellLink = 0x20, kPersistFile = 0x30;

  std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& interfaceId,
                              ComObject& object) override {
    calls.push_back("CreateInstance");
    createdClasses.push_back(classId);
    createContexts.push_back(context);
    createdInterfaces.push_back(interfaceId);
    if (Failed(createResult)) return createResult;
    object = kObject;
    ++liveObjects;
    return kSOk;
  }

  std::int32_t QueryInterface(ComObject, const Guid& interfaceId, ComObject& result) override {
    const std::string name = interfaceId == kIidShellLinkA    ? "ShellLinkA"
                             : interfaceId == kIidPersistFile ? "PersistFile"
                                                              : "other";
    calls.push_back("QueryInterface " + name);
    queriedInterfaces.push_back(interfaceId);
    if (const auto it = queryResults.find(name); it != queryResults.end()) return it->second;
    result = name == "ShellLinkA" ? kShellLink : kPersistFile;
    ++liveObjects;
    return kSOk;
  }

  std::uint32_t Release(ComObject object) override {
    calls.push_back("Release " + std::to_string(object));
    --liveObjects;
    return 0;
  }

  std::int32_t SetArguments(ComObject, const std::string& text) override {
    calls.push_back("SetArguments");
    arguments = text;
    return kSOk;
  }

  std::int32_t SetPath(ComObject, const std::string& text) override {
    calls.push_back("SetPath");
    path = text;
    return kSOk;
  }

  std::int32_t SetWorkingDirectory(ComObject, const std::string& text) override {
    calls.push_back("SetWorkingDirectory");
    workingDirectory = text;
    return kSOk;
  }

  std::int32_t Save(ComObject, const std::u16string& fileName, bool remember) override {
    calls.push_back("Save");
    savedNames.push_back(fileName);
    savedRemember.push_back(remember);
    return saveResult;
  }

  std::string ResultMessage(std::int32_t result) override {
    calls.push_back("ResultMessage");
    const auto it = messages.find(result);
    return it == messages.end() ? std::string() : it->second;
  }

  // Byte-for-byte widening: enough for the ASCII names the tests use.
  std::u16string AnsiToWide(const std::string& text) override {
    calls.push_back("AnsiToWide");
    return std::u16string(text.begin(), text.end());
  }
};

}  // namespace morvel::testing
