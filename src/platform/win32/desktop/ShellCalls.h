#pragma once
// The calls the shell requests are made of on Windows: ShellExecuteA and ShellExecuteExA, the
// special folders' item lists, the shell link object's interfaces and the system's message
// texts. The values passed (verbs, masks, folder ids, class and interface ids, contexts,
// buffer sizes) are the Windows API's own; Win32ShellApi forwards them unchanged. Declared
// without a Windows header, so the sequence over them is tested with a recording fake.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/shell/ShellApi.h"

namespace morvel {

// Item lists and component objects as opaque values.
using ItemList = std::uintptr_t;
using ComObject = std::uintptr_t;

inline constexpr std::int32_t kSwShow = 5;
inline constexpr int kCsidlDesktop = 0;
inline constexpr int kCsidlStartup = 7;
inline constexpr std::uint32_t kFolderPathBufferSize = 261;  // MAX_PATH + 1

inline constexpr std::uint32_t kSeeMaskInvokeIdList = 0x0C;
inline constexpr std::uint32_t kSeeMaskNoCloseProcess = 0x40;
inline constexpr std::uint32_t kSeeMaskFlagNoUi = 0x400;
inline constexpr std::uint32_t kPropertiesMask = kSeeMaskInvokeIdList | kSeeMaskNoCloseProcess | kSeeMaskFlagNoUi;

// The fields of SHELLEXECUTEINFOA that a request sets; every other field is zero, and the
// record's size is its own. An absent text is a null pointer.
struct ShellExecuteInfo {
  std::uint32_t mask = 0;
  WindowHandle window = 0;
  std::optional<std::string> verb;
  std::optional<std::string> file;
  std::optional<std::string> parameters;
  std::optional<std::string> directory;
  std::int32_t show = 0;
};

// A component object class or interface id, laid out as GUID.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr Guid kClsidShellLink{0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidShellLinkA{0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidPersistFile{0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr std::uint32_t kClsctxInprocServer = 0x1;
inline constexpr std::uint32_t kClsctxLocalServer = 0x4;
inline constexpr std::uint32_t kShellLinkContext = kClsctxInprocServer | kClsctxLocalServer;

// Result codes (HRESULT): negative means failure.
inline constexpr std::int32_t kSOk = 0;
inline constexpr bool Failed(std::int32_t result) { return result < 0; }

class ShellCalls {
 public:
  virtual ~ShellCalls() = default;

  // ShellExecuteA(owner, verb, file, parameters, directory, show); an absent text is passed
  // as a null pointer. Returns the platform's instance value (above 32 on success).
  virtual std::intptr_t Execute(WindowHandle owner, const std::optional<std::string>& verb, const std::string& file,
                                const std::optional<std::string>& parameters,
                                const std::optional<std::string>& directory, std::int32_t show) = 0;
  // ShellExecuteExA with the record built from `info`.
  virtual bool ExecuteEx(const ShellExecuteInfo& info) = 0;

  // SHGetSpecialFolderLocation(owner, folderId, &list): the result code and, on success, an
  // item list the caller frees with FreeItemList.
  virtual std::int32_t SpecialFolderLocation(WindowHandle owner, int folderId, ItemList& list) = 0;
  // SHGetPathFromIDListA(list, buffer): the folder's path written zero-terminated into
  // `buffer` (of kFolderPathBufferSize bytes).
  virtual bool PathFromItemList(ItemList list, std::span<char> buffer) = 0;
  // Releases an item list with the shell's allocator (CoTaskMemFree).
  virtual void FreeItemList(ItemList list) = 0;

  // CoCreateInstance(classId, nullptr, context, interfaceId, &object).
  virtual std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& interfaceId,
                                      ComObject& object) = 0;
  // IUnknown::QueryInterface of `object`.
  virtual std::int32_t QueryInterface(ComObject object, const Guid& interfaceId, ComObject& result) = 0;
  // IUnknown::Release of any interface obtained above.
  virtual std::uint32_t Release(ComObject object) = 0;
  // IShellLinkA setters on an IShellLinkA interface.
  virtual std::int32_t SetArguments(ComObject shellLink, const std::string& arguments) = 0;
  virtual std::int32_t SetPath(ComObject shellLink, const std::string& path) = 0;
  virtual std::int32_t SetWorkingDirectory(ComObject shellLink, const std::string& directory) = 0;
  // IPersistFile::Save(fileName, remember) on an IPersistFile interface.
  virtual std::int32_t Save(ComObject persistFile, const std::u16string& fileName, bool remember) = 0;

  // The platform's message text for a failure code (FormatMessageA from the system); empty
  // when it has none.
  virtual std::string ResultMessage(std::int32_t result) = 0;
  // ANSI code page text to UTF-16 (MultiByteToWideChar with CP_ACP).
  virtual std::u16string AnsiToWide(const std::string& text) = 0;
};

}  // namespace morvel
