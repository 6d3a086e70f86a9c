#include "app/cli/ListCommand.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string_view>
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

// Code points a terminal draws in no column (combining marks, zero-width spaces, variation
// selectors) or in two (East Asian wide and fullwidth forms, most emoji), as ranges.
struct Range {
  char32_t first, last;
};
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},   {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x1160, 0x11FF}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},   {0x200B, 0x200F}, {0x20D0, 0x20FF},
    {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF},
};
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440},
    {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A},
    {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC},
    {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

bool InRanges(char32_t cp, std::span<const Range> ranges) {
  const auto it =
      std::lower_bound(ranges.begin(), ranges.end(), cp, [](const Range& r, char32_t c) { return r.last < c; });
  return it != ranges.end() && it->first <= cp;
}

// The columns a terminal gives one code point; U+FFFD, like any other narrow character, one.
std::size_t CodePointWidth(char32_t cp) {
  if (InRanges(cp, kZeroWidth)) return 0;
  return InRanges(cp, kWide) ? 2 : 1;
}

// Calls `each(bytes, width)` for each code point of the escaped text (always UTF-8; a stray
// byte counts as one column).
template <typename Each>
void ForEachCodePoint(std::string_view text, Each each) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t length = base::Utf8SequenceAt(text, i, cp);
    const bool stray = length == 0;
    if (!each(text.substr(i, stray ? 1 : length), stray ? 1 : CodePointWidth(cp))) return;
    i += stray ? 1 : length;
  }
}

// The columns the escaped text takes on a terminal.
std::size_t Width(std::string_view text) {
  std::size_t width = 0;
  ForEachCodePoint(text, [&](std::string_view, std::size_t w) {
    width += w;
    return true;
  });
  return width;
}

// The text cut to `width` columns, its end replaced by an ellipsis when it is longer.
std::string Fit(const std::string& text, std::size_t width) {
  if (Width(text) <= width) return text;
  std::string cut;
  std::size_t used = 0;
  ForEachCodePoint(text, [&](std::string_view bytes, std::size_t w) {
    if (used + w + 1 > width) return false;
    cut += bytes;
    used += w;
    return true;
  });
  return cut + "\u2026";
}

// The columns that give way when a row is wider than the terminal: device, label, mount point.
constexpr std::size_t kShrinkable[] = {2, 4, 6};
constexpr std::size_t kNarrowest = 8;

// Narrows the widest shrinkable column, one column at a time, until the table fits `width`
// or every shrinkable column is down to its narrowest.
void FitColumns(std::array<std::size_t, kColumns>& widths, std::size_t width) {
  std::size_t total = 2 * (kColumns - 1);
  for (const std::size_t w : widths) total += w;
  while (total > width) {
    std::size_t* widest = nullptr;
    for (const std::size_t c : kShrinkable)
      if (widths[c] > kNarrowest && (widest == nullptr || widths[c] > *widest)) widest = &widths[c];
    if (widest == nullptr) return;
    --*widest;
    --total;
  }
}

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

std::string ListTable(const VolumeList& list, std::size_t width) {
  std::vector<Row> rows = {{"Letter", "From", "Device or image", "Size", "Label", "NTFS", "Mount point"}};
  for (const auto& v : list.volumes) rows.push_back(RowOf(v));
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  if (width != 0) FitColumns(widths, width);
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
      const std::string cell = width != 0 ? Fit(row[c], widths[c]) : row[c];
      line += cell;
      if (c + 1 < kColumns) line.append(widths[c] - Width(cell) + 2, ' ');
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
