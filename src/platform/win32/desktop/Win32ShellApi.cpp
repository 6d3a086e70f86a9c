#include "platform/win32/desktop/Win32ShellApi.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <cstring>

#include "platform/win32/Win32Scoped.h"
#include "platform/win32/desktop/ShellSequence.h"

namespace morvel {
namespace {

HWND ToWindow(WindowHandle h) { return reinterpret_cast<HWND>(h); }
const char* TextOrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

GUID ToGuid(const Guid& g) {
  GUID out;
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  std::memcpy(out.Data4, g.data4.data(), sizeof out.Data4);
  return out;
}

template <typename Interface>
Interface* As(ComObject object) {
  return reinterpret_cast<Interface*>(object);
}

class Win32ShellCalls final : public ShellCalls {
 public:
  std::intptr_t Execute(WindowHandle owner, const std::optional<std::string>& verb, const std::string& file,
                        const std::optional<std::string>& parameters, const std::optional<std::string>& directory,
                        std::int32_t show) override {
    HINSTANCE result = ::ShellExecuteA(ToWindow(owner), TextOrNull(verb), file.c_str(), TextOrNull(parameters),
                                       TextOrNull(directory), show);
    return reinterpret_cast<std::intptr_t>(result);
  }

  bool ExecuteEx(const ShellExecuteInfo& info) override {
    SHELLEXECUTEINFOA request{};
    // The request's size is the record's own: a 64-bit process has wider pointers and handles
    // than the 60 bytes of a 32-bit one, and the shell refuses any other size.
    static_assert(sizeof request == 112);
    request.cbSize = sizeof request;
    request.fMask = info.mask;
    request.hwnd = ToWindow(info.window);
    request.lpVerb = TextOrNull(info.verb);
    request.lpFile = TextOrNull(info.file);
    request.lpParameters = TextOrNull(info.parameters);
    request.lpDirectory = TextOrNull(info.directory);
    request.nShow = info.show;
    const bool ok = ::ShellExecuteExA(&request) != FALSE;
    // SEE_MASK_NOCLOSEPROCESS may hand back a process handle; nobody waits on it.
    win32::Handle process(request.hProcess);
    return ok;
  }

  std::int32_t SpecialFolderLocation(WindowHandle owner, int folderId, ItemList& list) override {
    LPITEMIDLIST found = nullptr;
    const HRESULT hr = ::SHGetSpecialFolderLocation(ToWindow(owner), folderId, &found);
    if (SUCCEEDED(hr)) list = reinterpret_cast<ItemList>(found);
    return hr;
  }

  bool PathFromItemList(ItemList list, std::span<char> buffer) override {
    // SHGetPathFromIDListA writes up to MAX_PATH bytes and takes no size.
    if (buffer.size() < MAX_PATH) return false;
    return ::SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(list), buffer.data()) != FALSE;
  }

  void FreeItemList(ItemList list) override { ::CoTaskMemFree(reinterpret_cast<void*>(list)); }

  std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& interfaceId,
                              ComObject& object) override {
    const GUID clsid = ToGuid(classId);
    const GUID iid = ToGuid(interfaceId);
    void* created = nullptr;
    const HRESULT hr = ::CoCreateInstance(clsid, nullptr, context, iid, &created);
    if (SUCCEEDED(hr)) object = reinterpret_cast<ComObject>(created);
    return hr;
  }

  std::int32_t QueryInterface(ComObject object, const Guid& interfaceId, ComObject& result) override {
    const GUID iid = ToGuid(interfaceId);
    void* found = nullptr;
    const HRESULT hr = As<IUnknown>(object)->QueryInterface(iid, &found);
    if (SUCCEEDED(hr)) result = reinterpret_cast<ComObject>(found);
    return hr;
  }

  std::uint32_t Release(ComObject object) override { return As<IUnknown>(object)->Release(); }

  std::int32_t SetArguments(ComObject shellLink, const std::string& arguments) override {
    return As<IShellLinkA>(shellLink)->SetArguments(arguments.c_str());
  }
  std::int32_t SetPath(ComObject shellLink, const std::string& path) override {
    return As<IShellLinkA>(shellLink)->SetPath(path.c_str());
  }
  std::int32_t SetWorkingDirectory(ComObject shellLink, const std::string& directory) override {
    return As<IShellLinkA>(shellLink)->SetWorkingDirectory(directory.c_str());
  }

  std::int32_t Save(ComObject persistFile, const std::u16string& fileName, bool remember) override {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return As<IPersistFile>(persistFile)->Save(reinterpret_cast<LPCOLESTR>(fileName.c_str()), remember ? TRUE : FALSE);
  }

  std::string ResultMessage(std::int32_t result) override { return win32::Win32ErrorText(static_cast<DWORD>(result)); }

  std::u16string AnsiToWide(const std::string& text) override {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(n), u'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(wide.data()), n);
    return wide;
  }
};

}  // namespace

std::unique_ptr<ShellCalls> MakeWin32ShellCalls() { return std::make_unique<Win32ShellCalls>(); }

std::unique_ptr<ShellApi> MakeWin32ShellApi() { return std::make_unique<ShellSequence>(MakeWin32ShellCalls()); }

// The runtime is uninitialised whether or not its initialisation succeeded.
ComRuntime::ComRuntime() { ::CoInitialize(nullptr); }
ComRuntime::~ComRuntime() { ::CoUninitialize(); }

}  // namespace morvel
