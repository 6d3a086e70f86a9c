#pragma once
// Byte sources and a scripted NTFS reader for testing the volume layers without a disk.
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ntfs/Ntfs.h"

namespace morvel::testing {

class MemorySource final : public base::ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes, bool readsFail = false)
      : bytes_(std::move(bytes)), readsFail_(readsFail) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (readsFail_ || offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  bool readsFail_;
};

// 512 bytes that start like an NTFS boot sector.
inline std::vector<std::uint8_t> NtfsBootSectorBytes(std::size_t size = 4096) {
  std::vector<std::uint8_t> bytes(size, 0);
  std::memcpy(bytes.data() + 3, "NTFS    ", 8);
  bytes[510] = 0x55;
  bytes[511] = 0xAA;
  return bytes;
}

// The answers of the scripted reader, shared by every volume it opens.
struct ScriptedNtfs {
  static inline ntfs::Status openStatus = ntfs::Status::Ok;
  static inline ntfs::Status queryStatus = ntfs::Status::Ok;
  static inline ntfs::Status findStatus = ntfs::Status::Ok;
  static inline ntfs::VolumeData data;
  static inline std::map<std::string, ntfs::RootEntry> entries;  // by lower-case name
  static inline int opens = 0;
  static inline std::uint64_t lastSourceSize = 0;

  static void Reset() {
    openStatus = queryStatus = findStatus = ntfs::Status::Ok;
    data = {};
    entries.clear();
    opens = 0;
    lastSourceSize = 0;
  }

  static ntfs::Result Open(base::ByteSource& source, std::uint64_t, std::unique_ptr<ntfs::Volume>& out);
  // A result as the reader gives it: a failure says why.
  static ntfs::Result Give(ntfs::Status status, const char* why) {
    return status == ntfs::Status::Ok ? ntfs::Result{} : ntfs::Result{status, why};
  }
};

class ScriptedVolume final : public ntfs::Volume {
 public:
  ntfs::Result QueryVolumeData(ntfs::VolumeData& out) override {
    if (ScriptedNtfs::queryStatus == ntfs::Status::Ok) out = ScriptedNtfs::data;
    return ScriptedNtfs::Give(ScriptedNtfs::queryStatus, "query refused");
  }
  ntfs::Result FindRootEntry(std::string_view name, std::optional<ntfs::RootEntry>& out) override {
    if (ScriptedNtfs::findStatus != ntfs::Status::Ok) return ScriptedNtfs::Give(ScriptedNtfs::findStatus, "index torn");
    std::string key(name);
    for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const auto it = ScriptedNtfs::entries.find(key);
    if (it != ScriptedNtfs::entries.end()) out = it->second;
    return {};
  }
};

inline ntfs::Result ScriptedNtfs::Open(base::ByteSource& source, std::uint64_t, std::unique_ptr<ntfs::Volume>& out) {
  ++opens;
  lastSourceSize = source.Size();
  if (openStatus != ntfs::Status::Ok) return Give(openStatus, "boot sector torn");
  out = std::make_unique<ScriptedVolume>();
  return {};
}

}  // namespace morvel::testing
