#include "InfoBridge.h"

#include <cstring>
#include <stdexcept>

#include "InfoIds.h"
#include "Win32Scoped.h"

namespace morvel {
namespace {
using namespace info_ids;

const COLORREF kMaroon = RGB(128, 0, 0);
const COLORREF kNavy = RGB(0, 0, 128);

FontDesign WindowFont() { return {"Arial", -13, ::GetSysColor(COLOR_WINDOWTEXT), false}; }
FontDesign LinkFont(COLORREF color) { return {"Arial", -13, color, true}; }

ControlDesign Text(int id, int l, int t, int w, int h, std::string caption) {
  ControlDesign c;
  c.id = id, c.left = l, c.top = t, c.width = w, c.height = h, c.caption = std::move(caption);
  c.font = WindowFont();
  return c;
}
ControlDesign Link(int id, int l, int t, int w, int h, std::string caption, COLORREF color, bool visible = true) {
  ControlDesign c = Text(id, l, t, w, h, std::move(caption));
  c.font = LinkFont(color);
  c.visible = visible, c.clickable = true, c.handCursor = true;
  return c;
}

std::string FileNamePart(const std::string& path) {
  const auto at = path.find_last_of("\\:");
  return at == std::string::npos ? path : path.substr(at + 1);
}
std::string PathPart(const std::string& path) {
  const auto at = path.find_last_of("\\:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

}  // namespace

const InfoWindowDesign& FormDesign() {
  static const InfoWindowDesign design = [] {
    InfoWindowDesign d;
    d.caption = "InfoForm";
    d.left = 319, d.top = 229, d.clientWidth = 268, d.clientHeight = 242;
    d.panel = Text(kPnlBack, 8, 8, 241, 225, "");
    ControlDesign icon = Text(kAppIcon, 8, 8, 32, 32, "");
    icon.kind = ControlKind::Image;
    ControlDesign name = Text(kLblExeName, 56, 8, 152, 32, "LblExeName");
    name.font.height = -27, name.clickable = true, name.handCursor = true;
    ControlDesign url = Link(kLblUrl, 8, 128, 160, 16, "http://www.example.org/morvel/", kNavy);
    url.centerVertically = true;
    ControlDesign mail = Link(kLblMail, 8, 144, 87, 16, "morvel@example.org", kNavy);
    mail.centerVertically = true;
    d.controls = {icon,
                  name,
                  Text(kLblComment, 56, 56, 125, 16, "A volume layout reporter"),
                  Text(kLblOsVersion, 8, 168, 78, 16, "LblOsVersion"),
                  Text(kLblMemPhys, 8, 184, 76, 16, "LblMemPhys"),
                  Text(kLblExeVersion, 56, 40, 84, 16, "LblExeVersion"),
                  url,
                  mail,
                  Link(kLblLaunchOnStartup, 120, 160, 172, 16, "Create Shortcut into \"Startup\"", kMaroon, false),
                  Link(kLblOpenStartup, 120, 176, 87, 16, "Open \"Startup\"", kMaroon, false),
                  Link(kLblLaunchOnDesktop, 56, 80, 178, 16, "Create Shortcut into \"Desktop\"", kMaroon),
                  Link(kLblOpenFolderIn, 56, 96, 166, 16, "Open Folder This Program in", kMaroon)};
    return d;
  }();
  return design;
}

FittedLayout FitInfoLayout(const std::vector<ChildBounds>& children) {
  const int border = 10;
  int minLeft = INT_MAX, minTop = INT_MAX, maxRight = 0, maxBottom = 0;
  for (const ChildBounds& c : children) {
    if (!c.visible) continue;
    minLeft = std::min(minLeft, c.left), minTop = std::min(minTop, c.top);
    maxRight = std::max(maxRight, c.left + c.width), maxBottom = std::max(maxBottom, c.top + c.height);
  }
  FittedLayout layout;
  layout.children = children;
  for (ChildBounds& c : layout.children) c.left += border - minLeft, c.top += border - minTop;
  layout.panelWidth = maxRight - minLeft + 2 * border;
  layout.panelHeight = maxBottom - minTop + 2 * border;
  return layout;
}

std::string RunningExecutablePath(SystemApi& system) { return system.ModuleFileName(kModuleFileNameBufferSize); }

std::string AppTitle(HWND appWindow) {
  char buffer[256] = {};
  if (appWindow != nullptr) ::GetWindowTextA(appWindow, buffer, sizeof buffer);
  return buffer;
}

namespace {
std::string FileVersionText(SystemApi& system, const std::string& file) {
  const std::uint32_t size = system.FileVersionInfoSize(file);
  if (size == 0) return {};
  std::vector<std::uint8_t> block(size);
  system.FileVersionInfo(file, block);
  std::size_t offset = 0;
  std::uint32_t length = 0;
  if (!system.QueryVersionValue(block, "\\StringFileInfo\\041103A4\\FileVersion", offset, length)) return {};
  return std::string(reinterpret_cast<const char*>(block.data() + offset));
}
}  // namespace

std::string InfoCaption(SystemApi& system, const std::string& title, const std::string& exePath) {
  return title + " Ver." + FileVersionText(system, exePath) + " - InfoForm";
}

InfoTexts MakeInfoTexts(SystemApi& system, const std::string& exePath) {
  InfoTexts t;
  t.exeName = FileNamePart(exePath);
  t.osVersion = "Windows";
  t.memPhys = "free physical memory:";
  t.exeVersion = "Ver." + FileVersionText(system, exePath);
  return t;
}

void CenterOnWorkArea(HWND form) {
  RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT window;
  ::GetWindowRect(form, &window);
  const int left = (work.right - work.left - (window.right - window.left)) / 2;
  const int top = (work.bottom - work.top - (window.bottom - window.top)) / 2;
  ::SetWindowPos(form, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
void Open(ShellContext& c, const std::string& target) {
  c.shell.Execute(reinterpret_cast<WindowHandle>(c.mainWindow), std::nullopt, target, std::string(), PathPart(target),
                  kSwShow);
}
std::string Folder(ShellContext& c, int csidl) {
  ItemList list = 0;
  if (c.shell.SpecialFolderLocation(reinterpret_cast<WindowHandle>(c.appWindow), csidl, list) < 0) return {};
  std::vector<char> buffer(kFolderPathBufferSize);
  c.shell.PathFromItemList(list, buffer);
  c.shell.FreeItemList(list);
  return buffer.data();
}
void Shortcut(ShellContext& c, const std::string& folder, const std::string& exePath) {
  std::string name = FileNamePart(exePath);
  if (auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  ComObject unknown = 0, link = 0, file = 0;
  std::int32_t hr = c.shell.CreateInstance(kClsidShellLink, kShellLinkContext, kIidUnknown, unknown);
  if (hr < 0) throw std::runtime_error(c.shell.ResultMessage(hr));
  hr = c.shell.QueryInterface(unknown, kIidShellLinkA, link);
  if (hr >= 0) hr = c.shell.QueryInterface(link, kIidPersistFile, file);
  if (hr >= 0) {
    c.shell.SetArguments(link, "/starup");
    c.shell.SetPath(link, exePath);
    std::string dir = PathPart(exePath);
    if (dir.size() > 3) dir.pop_back();
    c.shell.SetWorkingDirectory(link, dir);
    std::string f = folder;
    if (!f.empty() && f.back() == '\\') f.pop_back();
    hr = c.shell.Save(file, c.shell.AnsiToWide(f + "\\" + name + ".lnk"), false);
  }
  if (file != 0) c.shell.Release(file);
  if (link != 0) c.shell.Release(link);
  c.shell.Release(unknown);
  if (hr < 0) throw std::runtime_error(c.shell.ResultMessage(hr));
}
}  // namespace

void ShowExeProperties(ShellContext& c, const std::string& exePath) {
  ShellExecuteInfo info;
  info.size = kShellExecuteInfoSize;
  info.mask = kPropertiesMask;
  info.window = reinterpret_cast<WindowHandle>(c.mainWindow);
  info.verb = "properties";
  info.file = exePath;
  c.shell.ExecuteEx(info);
}
void OpenHomePage(ShellContext& c, const std::string& url) { Open(c, url); }
void OpenMail(ShellContext& c, const std::string& address, const std::string& exePath) {
  Open(c, "MailTo:" + address + "?subject=from [" + FileNamePart(exePath) + "] user");
}
void CreateStartupShortcut(ShellContext& c, const std::string& exePath) {
  Shortcut(c, Folder(c, kCsidlStartup), exePath);
}
void CreateDesktopShortcut(ShellContext& c, const std::string& exePath) {
  Shortcut(c, Folder(c, kCsidlDesktop), exePath);
}
void OpenStartupFolder(ShellContext& c) { Open(c, Folder(c, kCsidlStartup)); }
void OpenExeFolder(ShellContext& c, const std::string& exePath) { Open(c, PathPart(exePath)); }

}  // namespace morvel
