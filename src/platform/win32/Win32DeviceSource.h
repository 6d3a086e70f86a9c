#pragma once
// A volume's raw bytes on Windows (\\.\X:), for the built-in reader: opened for reading with
// the other openers' reads and writes shared, read in whole sectors as a volume handle needs.
#include <memory>
#include <string>

#include "base/ByteSource.h"
#include "base/Result.h"

namespace morvel {

// Opens the device `path` ("\\.\C:") into `out`. A failure carries the system's error code
// (ERROR_ACCESS_DENIED without administrator rights) and its message.
base::Result OpenWin32DeviceSource(const std::string& path, std::unique_ptr<base::ByteSource>& out);

}  // namespace morvel
