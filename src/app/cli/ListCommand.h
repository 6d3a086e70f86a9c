#pragma once
// `morvel --list`: the machine's NTFS volumes as a table or as JSON.
#include <string>

#include "app/cli/Json.h"
#include "platform/reader/ListedVolume.h"

namespace morvel::cli {

// "16.0 MiB"; "-" when unknown.
std::string SizeText(std::uint64_t bytes);

// One header line and one line per volume, columns aligned by the columns a terminal gives
// each character. Texts from volumes and paths are escaped here, since alignment needs their
// shown width. With a `width` (a terminal's), the device, label and mount point columns give
// way until a line fits it, their texts cut with an ellipsis; with 0, every text is whole.
std::string ListTable(const VolumeList& list, std::size_t width = 0);

void WriteVolumeList(JsonWriter& json, const VolumeList& list);

}  // namespace morvel::cli
