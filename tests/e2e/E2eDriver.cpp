#include "tests/e2e/E2eDriver.h"

#include <fstream>
#include <iterator>

#include "platform/win32/Win32Scoped.h"

namespace morvel::e2e {

bool Checks::ExpectEqual(const std::string& actual, const std::string& expected, const std::string& what) {
  const bool ok = actual == expected;
  Expect(ok, what);
  if (!ok) std::printf("     expected: \"%s\"\n     actual:   \"%s\"\n", expected.c_str(), actual.c_str());
  return ok;
}

bool Checks::ExpectEqual(long long actual, long long expected, const std::string& what) {
  const bool ok = actual == expected;
  Expect(ok, what);
  if (!ok) std::printf("     expected: %lld\n     actual:   %lld\n", expected, actual);
  return ok;
}

std::string ProbeProcess(DWORD processId) {
  wchar_t driver[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, driver, MAX_PATH);
  std::wstring dll(driver);
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"morvel_e2e_probe.dll";
  const std::wstring result = dll + L".txt";
  ::DeleteFileW(result.c_str());
  const morvel::win32::Handle process(::OpenProcess(
      PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId));
  if (!process) return {};
  const std::size_t bytes = (dll.size() + 1) * sizeof(wchar_t);
  void* remote = ::VirtualAllocEx(process.get(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr || !::WriteProcessMemory(process.get(), remote, dll.c_str(), bytes, nullptr)) return {};
  // kernel32 lies at the same address in every process: its LoadLibraryW is the thread's start.
  const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  const morvel::win32::Handle thread(::CreateRemoteThread(process.get(), nullptr, 0, load, remote, 0, nullptr));
  if (!thread || ::WaitForSingleObject(thread.get(), 10000) != WAIT_OBJECT_0) return {};
  std::string facts;
  WaitFor([&] {
    std::ifstream in(result.c_str(), std::ios::binary);
    facts.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !facts.empty();
  });
  return facts;
}

ChildProcess::ChildProcess(const std::string& exePath, const std::string& arguments) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
  if (::CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
    const morvel::win32::Handle thread(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    ::WaitForInputIdle(process_.get(), 10000);
  } else {
    std::printf("cannot start %s (error %lu)\n", exePath.c_str(), ::GetLastError());
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.get(), 99);
}

DWORD ChildProcess::WaitForExit(DWORD timeoutMs) {
  if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

namespace {

struct WindowQuery {
  DWORD processId;
  const char* className;
  const char* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<WindowQuery*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  char className[256] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (owner != query->processId || lstrcmpiA(className, query->className) != 0) return TRUE;
  if (query->title != nullptr && WindowText(window) != query->title) return TRUE;
  query->found = window;
  return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const char* className, const char* title) {
  WindowQuery query{processId, className, title, nullptr};
  ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitForProcessWindow(DWORD processId, const char* className, const char* title, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindProcessWindow(processId, className, title)) != nullptr; }, timeoutMs);
  return found;
}

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<no answer>";
  std::vector<char> text(length + 1);
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             5000, &copied)) {
    return "<no answer>";
  }
  return std::string(text.data(), copied);
}

RECT ChildBounds(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  HWND parent = ::GetParent(window);
  if (parent != nullptr && (::GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) != 0) {
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return RECT{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Describe(const RECT& b) {
  return std::to_string(b.left) + "," + std::to_string(b.top) + " " + std::to_string(b.right) + "x" +
         std::to_string(b.bottom);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.push_back(text.substr(start));
  return lines;
}

bool SaveScreenBitmap(const std::string& path) {
  using namespace morvel::win32;
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  const WindowDc screen = GetWindowDc(nullptr);
  MemoryDc memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Bitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen || !memory || !bitmap) return false;
  {
    const Selection selected = Select(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY)) return false;
    ::GdiFlush();
  }
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageSize);
  return out.good();
}

int CloseAndConclude(Checks& checks, ChildProcess& program, HWND form, const std::string& screenshotPath) {
  ::Sleep(500);  // let the window paint before the picture is taken
  checks.Expect(SaveScreenBitmap(screenshotPath), "screenshot saved to " + screenshotPath);
  ::PostMessageA(form, WM_CLOSE, 0, 0);
  checks.ExpectEqual(static_cast<long long>(program.WaitForExit(10000)), 0, "closing Form1 ends the program");
  std::printf("%d check(s) failed\n", checks.failures());
  return checks.failures() == 0 ? 0 : 1;
}

}  // namespace morvel::e2e
