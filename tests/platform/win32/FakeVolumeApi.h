#pragma once
// A VolumeApi that answers from a script and records every call with its arguments.
#include <map>
#include <string>
#include <vector>

#include "platform/win32/calls/VolumeApi.h"
#include "platform/win32/calls/VolumeRecord.h"

namespace morvel::testing {

class FakeVolumeApi : public VolumeApi {
 public:
  // Script
  bool fsControlBound = true;
  bool openFails = false;
  std::uint32_t lastError = 0;
  std::string systemMessage;
  std::int32_t status = 0;
  NtfsVolumeData data;
  std::map<std::string, FindData> rootEntries;  // by upper-cased path

  // Record
  std::vector<std::string> calls;
  std::vector<std::string> openedPaths;
  std::vector<OpenRequest> openRequests;
  std::vector<std::uint32_t> controlCodes;
  std::vector<std::size_t> outputSizes;
  std::vector<std::int32_t> messageCodes;
  std::vector<std::uint32_t> messageFlags, messageBufferSizes;
  std::vector<std::string> findPaths;
  int openHandles = 0;
  int closeCount = 0;

  static constexpr Handle kVolume = 0x44;

  bool HasFsControl() const override { return fsControlBound; }

  Handle OpenFile(const std::string& path, const OpenRequest& request) override {
    calls.push_back("OpenFile");
    openedPaths.push_back(path);
    openRequests.push_back(request);
    if (openFails) return kInvalidHandle;
    ++openHandles;
    return kVolume;
  }

  std::uint32_t LastError() override {
    calls.push_back("LastError");
    return lastError;
  }

  std::string SystemMessage(std::uint32_t flags, std::int32_t code, std::uint32_t, std::uint32_t size) override {
    calls.push_back("SystemMessage");
    messageFlags.push_back(flags);
    messageCodes.push_back(code);
    messageBufferSizes.push_back(size);
    return systemMessage;
  }

  std::int32_t FsControl(Handle, std::uint32_t code, std::span<std::uint8_t> output) override {
    calls.push_back("FsControl");
    controlCodes.push_back(code);
    outputSizes.push_back(output.size());
    if (status == 0 && output.size() == kVolumeDataSize) {
      const auto bytes = EncodeVolumeData(data);
      std::copy(bytes.begin(), bytes.end(), output.begin());
    }
    return status;
  }

  void CloseHandle(Handle) override {
    calls.push_back("CloseHandle");
    --openHandles;
    ++closeCount;
  }

  Handle FindFirst(const std::string& path, FindData& found) override {
    calls.push_back("FindFirst");
    findPaths.push_back(path);
    std::string key = path;
    for (char& c : key) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    auto it = rootEntries.find(key);
    if (it == rootEntries.end()) return kInvalidHandle;
    found = it->second;
    ++openHandles;
    return 0x100 + findPaths.size();
  }

  void FindClose(Handle) override {
    calls.push_back("FindClose");
    --openHandles;
  }

  void AddRootEntry(const std::string& path, const std::string& storedName, std::uint64_t size) {
    std::string key = path;
    for (char& c : key) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    rootEntries[key] = FindData{storedName, static_cast<std::uint32_t>(size >> 32),
                                static_cast<std::uint32_t>(size & 0xFFFFFFFFu)};
  }
};

}  // namespace morvel::testing
