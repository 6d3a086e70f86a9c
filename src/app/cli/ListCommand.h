#pragma once
// `morvel --list`: the machine's NTFS volumes as a table or as JSON.
#include <string>

#include "app/cli/Json.h"
#include "platform/reader/ListedVolume.h"

namespace morvel::cli {

// "16.0 MiB"; "-" when unknown.
std::string SizeText(std::uint64_t bytes);

// One header line and one line per volume, columns aligned. Texts from volumes and paths are
// escaped here, since alignment needs their shown width.
std::string ListTable(const VolumeList& list);

void WriteVolumeList(JsonWriter& json, const VolumeList& list);

}  // namespace morvel::cli
