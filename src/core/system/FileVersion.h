#pragma once
// The executable's file version text and the window caption stamped with it.
#include <string>

#include "core/system/SystemApi.h"

namespace morvel {

inline constexpr const char* kFileVersionPath =
    "\\StringFileInfo\\"
    "041103A4"
    "\\FileVersion";

// The "FileVersion" text of the file's string table "041103A4", or empty: no version data, no
// such table or value, or any error while reading it.
std::string GetFileVersionText(SystemApi& api, const std::string& fileName);

// The running executable's file version text: the built-in one where the machine has it, else
// GetFileVersionText of `exePath`, the executable's path.
std::string ExecutableFileVersion(SystemApi& api, const std::string& exePath);

// title + " Ver." + version + " - " + component name: "Morveltest Ver.0.6.1.7 - Form1".
std::string CaptionText(const std::string& title, const std::string& fileVersion, const std::string& componentName);
// The caption of the form named `componentName`, with the running executable's file version.
std::string StampCaptionText(SystemApi& api, const std::string& title, const std::string& componentName);

}  // namespace morvel
