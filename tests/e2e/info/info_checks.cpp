#include "tests/e2e/info/info_checks.h"

#include <windows.h>

#include <regex>
#include <vector>

#include "app/win32/InfoIds.h"
#include "core/system/FileVersion.h"
#include "core/system/OsDescription.h"

using namespace morvel::win32::info_ids;
using morvel::e2e::Checks;

namespace {

std::vector<unsigned char> VersionBlock(const std::string& exe) {
  DWORD scratch = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(exe.c_str(), &scratch);
  std::vector<unsigned char> block(size);
  if (size != 0) ::GetFileVersionInfoA(exe.c_str(), 0, size, block.data());
  return block;
}

bool Query(std::vector<unsigned char>& block, const std::string& path, void*& value, UINT& length) {
  return !block.empty() && ::VerQueryValueA(block.data(), path.c_str(), &value, &length) != FALSE;
}

}  // namespace

void CheckVersionResource(Checks& checks, morvel::SystemApi& system, const std::string& exe) {
  checks.ExpectEqual(morvel::GetFileVersionText(system, exe), "0.6.1.7", "file version text of the executable");
  std::vector<unsigned char> block = VersionBlock(exe);
  checks.Expect(!block.empty(), "version resource present");
  void* value = nullptr;
  UINT length = 0;
  if (Query(block, "\\", value, length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* f = static_cast<const VS_FIXEDFILEINFO*>(value);
    checks.Expect(f->dwSignature == 0xFEEF04BD, "fixed part signature");
    checks.Expect(f->dwFileVersionMS == 0x00000006 && f->dwFileVersionLS == 0x00010007, "fixed file version 0.6.1.7");
    checks.Expect(f->dwProductVersionMS == 0x00000006 && f->dwProductVersionLS == 0x00010007,
                  "fixed product version 0.6.1.7");
    checks.Expect(f->dwFileFlagsMask == 0x3F && f->dwFileFlags == 0, "flags mask 0x3F, flags 0");
    checks.Expect(f->dwFileOS == 4 && f->dwFileType == 1 && f->dwFileSubtype == 0, "OS 4, type 1, subtype 0");
  } else {
    checks.Expect(false, "fixed part");
  }
  checks.Expect(Query(block, "\\VarFileInfo\\Translation", value, length) && length == 4 &&
                    static_cast<const WORD*>(value)[0] == 0x0411 && static_cast<const WORD*>(value)[1] == 0x03A4,
                "translation 0x0411, 0x03A4");
  struct Key {
    const char* name;
    const char* text;
  };
  const Key keys[] = {{"CompanyName", ""},      {"FileDescription", ""}, {"FileVersion", "0.6.1.7"},
                      {"InternalName", ""},     {"LegalCopyright", ""},  {"LegalTrademarks", ""},
                      {"OriginalFilename", ""}, {"ProductName", ""},     {"ProductVersion", "1.0.0.0"},
                      {"Comments", ""}};
  for (const Key& k : keys) {
    const bool present = Query(block, std::string("\\StringFileInfo\\041103A4\\") + k.name, value, length);
    const std::string text = present && value != nullptr ? static_cast<const char*>(value) : "";
    checks.Expect(present && text == k.text, std::string("\"") + k.name + "\" present: \"" + text + "\"");
  }
}

void CheckInfoLabels(Checks& checks, morvel::SystemApi& system, const std::string& exe,
                     const std::function<std::string(int)>& text) {
  checks.ExpectEqual(text(kLblExeName), exe.substr(exe.find_last_of('\\') + 1), "LblExeName");
  checks.ExpectEqual(text(kLblExeVersion), "Ver.0.6.1.7", "LblExeVersion");
  std::string os = morvel::GetOsDescription(system);
  if (const auto at = os.find("Microsoft "); at != std::string::npos) os.erase(at, 10);
  checks.ExpectEqual(text(kLblOsVersion), os, "LblOsVersion");
  static const std::regex memory(R"(free physical memory:\d{1,3}(,\d{3})*\.00KB/\d{1,3}(,\d{3})*\.00KB)");
  const std::string mem = text(kLblMemPhys);
  checks.Expect(std::regex_match(mem, memory), "LblMemPhys format: " + mem);
  checks.ExpectEqual(text(kLblLaunchOnDesktop), "Create Shortcut into \"Desktop\"", "LblLaunchOnDesktop");
  checks.ExpectEqual(text(kLblOpenFolderIn), "Open Folder This Program in", "LblOpenFolderIn");
}
