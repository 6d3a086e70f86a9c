#include "app/cli/ListCommand.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"

namespace morvel::cli {
namespace {

constexpr std::size_t kColumns = 7;
using Row = std::array<std::string, kColumns>;

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

Row RowOf(const ListedVolume& v) {
  std::string device = v.device + (v.image.empty() ? "" : " (" + v.image + ")");
  std::string label = v.label.empty() && !v.note.empty() ? "? " + v.note : v.label;
  return {v.letter != 0 ? std::string(1, v.letter) + ":" : "-",
          v.letterFrom.empty() ? "-" : v.letterFrom,
          base::EscapeControls(device),
          SizeText(v.size),
          base::EscapeControls(label.empty() ? "-" : label),
          v.version.empty() ? "-" : v.version,
          base::EscapeControls(v.mountPoints.empty() ? "-" : Joined(v.mountPoints))};
}

// Width in characters as a terminal shows the escaped text: one column per code point.
std::size_t Width(const std::string& text) { return base::Utf8ToUtf16(text).size(); }

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  if (bytes == 0) return "-";
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  if (unit == 0)
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string ListTable(const VolumeList& list) {
  std::vector<Row> rows = {{"Letter", "From", "Device or image", "Size", "Label", "NTFS", "Mount point"}};
  for (const auto& v : list.volumes) rows.push_back(RowOf(v));
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line.append(widths[c] - Width(row[c]) + 2, ' ');
    }
    text += line + "\n";
  }
  if (list.volumes.empty()) text += "(no NTFS volume found)\n";
  return text;
}

void WriteVolumeList(JsonWriter& json, const VolumeList& list) {
  json.BeginArray("volumes");
  for (const auto& v : list.volumes) {
    json.BeginObject();
    json.Value("letter", v.letter != 0 ? JsonString(std::string(1, v.letter)) : "null");
    json.Value("letterFrom", v.letterFrom.empty() ? "null" : JsonString(v.letterFrom));
    json.Value("device", JsonString(v.device));
    if (!v.image.empty()) json.Value("image", JsonString(v.image));
    json.Value("size", v.size != 0 ? JsonNumber(static_cast<std::int64_t>(v.size)) : "null");
    json.Value("label", v.label.empty() && !v.note.empty() ? "null" : JsonString(v.label));
    json.Value("ntfsVersion", v.version.empty() ? "null" : JsonString(v.version));
    json.BeginArray("mountPoints");
    for (const auto& m : v.mountPoints) json.Value({}, JsonString(m));
    json.EndArray();
    if (!v.note.empty()) json.Value("note", JsonString(v.note));
    json.EndObject();
  }
  json.EndArray();
  json.BeginArray("notRead");
  for (const auto& u : list.unread) json.Value({}, JsonString(u));
  json.EndArray();
}

}  // namespace morvel::cli
