#include "app/cli/Details.h"

#include <cstdio>

namespace morvel::cli {
namespace {

constexpr const char* kFiguresFrom = "read from the volume";

std::string VersionText(const ntfs::VolumeFacts& f) {
  return std::to_string(f.majorVersion) + "." + std::to_string(f.minorVersion);
}

std::string FlagsHex(std::uint16_t flags) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(flags));
  return text;
}

std::string FlagsText(std::uint16_t flags) {
  std::string text = FlagsHex(flags);
  const auto names = ntfs::VolumeFlagNames(flags);
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? ": " : ", ") + names[i];
  return flags == 0 ? text + ": none" : text;
}

std::string HibernationText(const ntfs::VolumeFacts& f) {
  const std::string header = "hiberfil.sys header \"" + f.hibernationSignature + "\"";
  switch (f.hibernation) {
    case ntfs::Hibernation::NoFile:
      return "no (no hiberfil.sys)";
    case ntfs::Hibernation::NotHibernated:
      return f.hibernationSignature.empty() ? "no (hiberfil.sys shorter than its header)" : "no (" + header + ")";
    case ntfs::Hibernation::Hibernated:
      return "yes (" + header + "; Linux drivers mount it read-only)";
    case ntfs::Hibernation::Unreadable:
      return "unknown (hiberfil.sys could not be read)";
  }
  return {};
}

std::string SectorSizeText(const VolumeDetails& d) {
  if (d.physicalSectorSize != 0) return std::to_string(d.physicalSectorSize) + " (reported by the device)";
  const std::string logical = std::to_string(d.facts.bytesPerSector);
  return d.blockDevice ? "unknown (logical " + logical + ")" : "unknown (an image file; logical " + logical + ")";
}

std::string PartitionText(const VolumeDetails& d) {
  return d.partition == 0 ? "none (the source is the volume)" : std::to_string(d.partition);
}

}  // namespace

std::vector<std::string> DetailsLines(const DetailsOutcome& o) {
  std::vector<std::string> lines = {"Volume details", "--------------"};
  auto add = [&](const char* name, const std::string& value) { lines.push_back(std::string(name) + " : " + value); };
  if (!o.error.empty()) {
    add("Unavailable         ", o.error);
    return lines;
  }
  const VolumeDetails& d = o.details;
  const ntfs::VolumeFacts& f = d.facts;
  add("Label               ", f.label.empty() ? "(none)" : f.label);
  add("NTFS version        ", VersionText(f));
  add("Volume flags        ", FlagsText(f.flags));
  add("Hibernated          ", HibernationText(f));
  add("Serial number       ", SerialNumberText(f.serialNumber));
  add("Physical sector size", SectorSizeText(d));
  add("$MFT extents        ", std::to_string(f.mftExtents));
  add("Source              ", d.source);
  if (!o.mountPoint.empty()) add("Mounted at          ", o.mountPoint);
  add("Partition           ", PartitionText(d));
  add("Byte offset         ", std::to_string(d.offset));
  add("Figures             ", kFiguresFrom);
  add("MFT zone            ", "modelled (a running driver keeps it in memory)");
  return lines;
}

void WriteDetails(JsonWriter& json, const std::string& target, const DetailsOutcome& o) {
  json.BeginObject();
  json.Value("target", JsonString(target));
  json.Value("ok", o.error.empty() ? "true" : "false");
  if (!o.error.empty()) {
    json.Value("error", JsonString(o.error));
    json.EndObject();
    return;
  }
  const VolumeDetails& d = o.details;
  const ntfs::VolumeFacts& f = d.facts;
  auto number = [&](const char* key, std::uint64_t v) { json.Value(key, JsonNumber(static_cast<std::int64_t>(v))); };
  json.Value("label", JsonString(f.label));
  json.Value("ntfsVersion", JsonString(VersionText(f)));
  json.Value("volumeFlags", JsonString(FlagsHex(f.flags)));
  json.BeginArray("volumeFlagNames");
  for (const auto& name : ntfs::VolumeFlagNames(f.flags)) json.Value({}, JsonString(name));
  json.EndArray();
  const bool known = f.hibernation != ntfs::Hibernation::Unreadable;
  json.Value("hibernated", known ? (f.hibernation == ntfs::Hibernation::Hibernated ? "true" : "false") : "null");
  json.Value("hiberfilPresent", f.hibernation == ntfs::Hibernation::NoFile ? "false" : "true");
  json.Value("hiberfilSignature", JsonString(f.hibernationSignature));
  json.Value("serialNumber", JsonString(SerialNumberText(f.serialNumber)));
  json.Value("physicalSectorSize", d.physicalSectorSize != 0 ? JsonNumber(std::int64_t{d.physicalSectorSize}) : "null");
  number("logicalSectorSize", f.bytesPerSector);
  number("mftExtents", f.mftExtents);
  json.BeginObject("source");
  json.Value("path", JsonString(d.source));
  if (!o.mountPoint.empty()) json.Value("mountPoint", JsonString(o.mountPoint));
  number("partition", static_cast<std::uint64_t>(d.partition));
  number("byteOffset", d.offset);
  json.Value("figuresFrom", JsonString(kFiguresFrom));
  json.Value("mftZoneModeled", "true");
  json.EndObject();
  json.EndObject();
}

}  // namespace morvel::cli
