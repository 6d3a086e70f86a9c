#include "app/cli/Details.h"

#include <cstdio>

namespace morvel::cli {
namespace {

constexpr const char* kFiguresFrom = "read from the volume";
constexpr const char* kFiguresFromDriver = "from the driver";

std::string Unknown(const std::string& why) { return "unknown (" + why + ")"; }

// Why a fact the driver was asked for is unknown; "" when it is known or the volume was read.
std::string Missing(const VolumeDetails& d, std::string DriverFacts::*why) {
  return d.driver ? (*d.driver).*why : std::string();
}

std::string VersionText(const ntfs::VolumeFacts& f) {
  return std::to_string(f.majorVersion) + "." + std::to_string(f.minorVersion);
}

std::string HexText(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string FlagsHex(std::uint16_t flags) { return HexText(flags, 4); }

std::string NamedFlags(std::string text, const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? ": " : ", ") + names[i];
  return names.empty() ? text + ": none" : text;
}

std::string FlagsText(const VolumeDetails& d) {
  if (const std::string why = Missing(d, &DriverFacts::flagsUnknown); !why.empty()) return Unknown(why);
  const std::string text = NamedFlags(FlagsHex(d.facts.flags), ntfs::VolumeFlagNames(d.facts.flags));
  // The driver's request tells only these two of the flags $Volume holds.
  return d.driver ? text + " (the driver tells dirty and upgrade on mount only)" : text;
}

std::string HibernationText(const VolumeDetails& d) {
  const ntfs::VolumeFacts& f = d.facts;
  const std::string header = "hiberfil.sys header \"" + f.hibernationSignature + "\"";
  switch (f.hibernation) {
    case ntfs::Hibernation::NoFile:
      return "no (no hiberfil.sys)";
    case ntfs::Hibernation::NotHibernated:
      return f.hibernationSignature.empty() ? "no (hiberfil.sys shorter than its header)" : "no (" + header + ")";
    case ntfs::Hibernation::Hibernated:
      return "yes (" + header + "; Linux drivers mount it read-only)";
    case ntfs::Hibernation::Unreadable: {
      const std::string why = Missing(d, &DriverFacts::hibernationUnknown);
      return why.empty() ? "unknown (hiberfil.sys could not be read)"
                         : Unknown("hiberfil.sys could not be read: " + why);
    }
  }
  return {};
}

std::string SectorSizeText(const VolumeDetails& d) {
  if (d.physicalSectorSize != 0)
    return std::to_string(d.physicalSectorSize) +
           (d.driver ? " (reported by the driver)" : " (reported by the device)");
  const std::string logical = std::to_string(d.facts.bytesPerSector);
  return d.blockDevice ? "unknown (logical " + logical + ")" : "unknown (an image file; logical " + logical + ")";
}

std::string MftExtentsText(const VolumeDetails& d) {
  const std::string why = Missing(d, &DriverFacts::mftExtentsUnknown);
  return why.empty() ? std::to_string(d.facts.mftExtents) : Unknown(why);
}

std::string PartitionText(const VolumeDetails& d) {
  if (const std::string why = Missing(d, &DriverFacts::partitionUnknown); !why.empty()) return Unknown(why);
  if (d.driver) return std::to_string(d.partition) + " (of the disk the volume lies on)";
  return d.partition == 0 ? "none (the source is the volume)" : std::to_string(d.partition);
}

std::string OffsetText(const VolumeDetails& d) {
  return Missing(d, &DriverFacts::partitionUnknown).empty() ? std::to_string(d.offset) : "unknown";
}

// The lines that say where the figures came from.
void AddSourceLines(const DetailsOutcome& o, std::vector<std::string>& lines) {
  const VolumeDetails& d = o.details;
  auto add = [&](const char* name, const std::string& value) { lines.push_back(std::string(name) + " : " + value); };
  add("Source              ", d.source);
  if (!o.mountPoint.empty()) add("Mounted at          ", o.mountPoint);
  add("Partition           ", PartitionText(d));
  add("Byte offset         ", OffsetText(d));
  add("Figures             ", d.driver ? kFiguresFromDriver : kFiguresFrom);
  add("MFT zone            ", d.driver ? "as the driver keeps it" : "modelled (a running driver keeps it in memory)");
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
  const std::string versionUnknown = Missing(d, &DriverFacts::versionUnknown);
  add("Label               ", f.label.empty() ? "(none)" : f.label);
  add("NTFS version        ", versionUnknown.empty() ? VersionText(f) : Unknown(versionUnknown));
  add("Volume flags        ", FlagsText(d));
  if (d.driver)
    add("File system flags   ", NamedFlags(HexText(d.driver->fileSystemFlags, 8), d.driver->fileSystemFlagNames));
  add("Hibernated          ", HibernationText(d));
  add("Serial number       ", SerialNumberText(f.serialNumber));
  add("Physical sector size", SectorSizeText(d));
  add("$MFT extents        ", MftExtentsText(d));
  AddSourceLines(o, lines);
  return lines;
}

namespace {

// The facts a driver could not tell, each with why.
void WriteUnknown(JsonWriter& json, const DriverFacts& driver) {
  json.BeginObject("unknown");
  const std::pair<const char*, const std::string*> facts[] = {{"ntfsVersion", &driver.versionUnknown},
                                                              {"volumeFlags", &driver.flagsUnknown},
                                                              {"hibernated", &driver.hibernationUnknown},
                                                              {"mftExtents", &driver.mftExtentsUnknown},
                                                              {"partition", &driver.partitionUnknown}};
  for (const auto& [key, why] : facts)
    if (!why->empty()) json.Value(key, JsonString(*why));
  json.EndObject();
}

void WriteSource(JsonWriter& json, const DetailsOutcome& o) {
  const VolumeDetails& d = o.details;
  const bool placed = Missing(d, &DriverFacts::partitionUnknown).empty();
  json.BeginObject("source");
  json.Value("path", JsonString(d.source));
  if (!o.mountPoint.empty()) json.Value("mountPoint", JsonString(o.mountPoint));
  json.Value("partition", placed ? JsonNumber(std::int64_t{d.partition}) : "null");
  json.Value("byteOffset", placed ? JsonNumber(static_cast<std::int64_t>(d.offset)) : "null");
  json.Value("figuresFrom", JsonString(d.driver ? "driver" : kFiguresFrom));
  json.Value("mftZoneModeled", d.driver ? "false" : "true");
  json.EndObject();
}

}  // namespace

void WriteDetails(JsonWriter& json, const std::string& target, const DetailsOutcome& o) {
  json.BeginObject();
  WriteTarget(json, target);
  json.Value("ok", o.error.empty() ? "true" : "false");
  if (!o.error.empty()) {
    json.Value("error", JsonString(o.error));
    json.EndObject();
    return;
  }
  const VolumeDetails& d = o.details;
  const ntfs::VolumeFacts& f = d.facts;
  auto number = [&](const char* key, std::uint64_t v) { json.Value(key, JsonNumber(static_cast<std::int64_t>(v))); };
  auto known = [&](std::string DriverFacts::*why) { return Missing(d, why).empty(); };
  json.Value("label", JsonString(f.label));
  json.Value("ntfsVersion", known(&DriverFacts::versionUnknown) ? JsonString(VersionText(f)) : "null");
  const bool flagsKnown = known(&DriverFacts::flagsUnknown);
  json.Value("volumeFlags", flagsKnown ? JsonString(FlagsHex(f.flags)) : "null");
  json.BeginArray("volumeFlagNames");
  if (flagsKnown)
    for (const auto& name : ntfs::VolumeFlagNames(f.flags)) json.Value({}, JsonString(name));
  json.EndArray();
  if (d.driver) {
    json.Value("fileSystemFlags", JsonString(HexText(d.driver->fileSystemFlags, 8)));
    json.BeginArray("fileSystemFlagNames");
    for (const auto& name : d.driver->fileSystemFlagNames) json.Value({}, JsonString(name));
    json.EndArray();
  }
  const bool hibernationKnown = f.hibernation != ntfs::Hibernation::Unreadable;
  json.Value("hibernated",
             hibernationKnown ? (f.hibernation == ntfs::Hibernation::Hibernated ? "true" : "false") : "null");
  json.Value("hiberfilPresent", f.hibernation == ntfs::Hibernation::NoFile ? "false" : "true");
  json.Value("hiberfilSignature", JsonString(f.hibernationSignature));
  json.Value("serialNumber", JsonString(SerialNumberText(f.serialNumber)));
  json.Value("physicalSectorSize", d.physicalSectorSize != 0 ? JsonNumber(std::int64_t{d.physicalSectorSize}) : "null");
  number("logicalSectorSize", f.bytesPerSector);
  if (known(&DriverFacts::mftExtentsUnknown))
    number("mftExtents", f.mftExtents);
  else
    json.Value("mftExtents", "null");
  if (d.driver) WriteUnknown(json, *d.driver);
  WriteSource(json, o);
  json.EndObject();
}

}  // namespace morvel::cli
