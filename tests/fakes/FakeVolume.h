#pragma once
// A volume that answers from a script and records what it was asked, and drive letters that
// all name it.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/report/VolumeAccess.h"

namespace morvel::testing {

class FakeVolume : public VolumeAccess, public DriveVolumes {
 public:
  // Script
  VolumeQuery query;                              // what QueryVolumeData answers
  std::map<std::string, MetaDataFile> rootFiles;  // by upper-cased name
  std::map<std::string, std::string> unreadable;  // upper-cased name -> why its lookup failed

  // Record
  std::vector<std::string> calls;  // "open C", "query", "find $mft"

  VolumeQuery QueryVolumeData() override {
    calls.push_back("query");
    return query;
  }
  MetaDataLookup FindMetaDataFile(const std::string& name) override {
    calls.push_back("find " + name);
    MetaDataLookup lookup;
    if (auto bad = unreadable.find(Upper(name)); bad != unreadable.end()) {
      lookup.outcome = MetaDataLookup::Outcome::Unreadable;
      lookup.reason = bad->second;
    } else if (auto it = rootFiles.find(Upper(name)); it != rootFiles.end()) {
      lookup.outcome = MetaDataLookup::Outcome::Found;
      lookup.file = it->second;
    }
    return lookup;
  }
  std::unique_ptr<VolumeAccess> OpenDrive(char letter) override {
    calls.push_back(std::string("open ") + letter);
    return std::make_unique<Forward>(*this);
  }

  void AddRootFile(const std::string& name, const std::string& storedName, std::int64_t size) {
    rootFiles[Upper(name)] = {storedName, size};
  }
  bool Queried() const { return std::find(calls.begin(), calls.end(), "query") != calls.end(); }
  std::size_t Lookups() const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("find ", 0) == 0; }));
  }

 private:
  // A drive's volume: the script, through another object the caller owns.
  class Forward final : public VolumeAccess {
   public:
    explicit Forward(FakeVolume& fake) : fake_(fake) {}
    VolumeQuery QueryVolumeData() override { return fake_.QueryVolumeData(); }
    MetaDataLookup FindMetaDataFile(const std::string& name) override { return fake_.FindMetaDataFile(name); }

   private:
    FakeVolume& fake_;
  };

  static std::string Upper(std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
  }
};

}  // namespace morvel::testing
