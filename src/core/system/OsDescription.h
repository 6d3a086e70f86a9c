#pragma once
// The one-line description of the running operating system shown by the information window,
// e.g. "Microsoft Windows XP Professional Service Pack 2 (Build 2600)".
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "core/system/SystemApi.h"

namespace morvel {

inline constexpr const char* kOsDescriptionFallback = "Microsoft Windows";

// The detailed description; on any error the simple one; on any error again the fixed text.
std::string GetOsDescription(SystemApi& api);
// The decision table over the version record (and, where the extended record is refused or
// for Service Pack 6 of NT 4.0, two registry keys). "Unknown" when nothing matches.
std::string GetOsDescriptionDetailed(SystemApi& api);
// "%s Version %d.%d (Build %d : %s)" from the plain record, whether the query succeeded or not.
std::string GetOsDescriptionSimple(SystemApi& api);
// The family name of a platform id; `name` is left unchanged for an unknown id.
void PlatformIdName(std::uint32_t platformId, std::string& name);

// The machine's own description where it has one (SystemApi::NativeOsDescription), else the
// Windows description above.
std::string DescribeRunningOs(SystemApi& api);

// Runs the levels in turn and returns the text of the first that completes without raising;
// `fixed` when every level raises.
std::string DescribeWithFallbacks(std::initializer_list<std::function<std::string()>> levels, const std::string& fixed);

}  // namespace morvel
