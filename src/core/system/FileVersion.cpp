#include "core/system/FileVersion.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/runtime/Format.h"
#include "core/system/Version.h"

namespace morvel {

static_assert(std::string_view(MORVEL_VERSION_STRING_TABLE) == "041103A4");

std::string GetFileVersionText(SystemApi& api, const std::string& fileName) {
  try {
    const std::uint32_t size = api.FileVersionInfoSize(fileName);
    if (size == 0) return {};
    std::vector<std::uint8_t> buffer(size, 0);
    api.FileVersionInfo(fileName, buffer);  // a failed read leaves zeros the query finds nothing in
    std::size_t offset = 0;
    std::uint32_t length = 0;
    if (!api.QueryVersionValue(buffer, kFileVersionPath, offset, length) || offset >= buffer.size()) return {};
    const auto begin = buffer.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::string(begin, std::find(begin, buffer.end(), std::uint8_t{0}));
  } catch (...) {
    // No version text is shown rather than an error: the caption and the window still open.
    return {};
  }
}

std::string ExecutableFileVersion(SystemApi& api, const std::string& exePath) {
  std::optional<std::string> builtIn = api.BuiltInFileVersion();
  return builtIn ? *std::move(builtIn) : GetFileVersionText(api, exePath);
}

std::string CaptionText(const std::string& title, const std::string& fileVersion, const std::string& componentName) {
  return title + " " + Format("Ver.%s", {fileVersion}) + " - " + componentName;
}

std::string StampCaptionText(SystemApi& api, const std::string& title, const std::string& componentName) {
  return CaptionText(title, ExecutableFileVersion(api, api.ModuleFileName(kModuleFileNameBufferSize)), componentName);
}

}  // namespace morvel
