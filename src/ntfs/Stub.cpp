#include "Ntfs.h"

namespace ntfs {

const char* StatusName(Status status) {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::NotNtfs: return "not an NTFS volume";
    case Status::Corrupt: return "inconsistent NTFS structures";
    case Status::IoError: return "read error";
  }
  return "";
}

Status Volume::Open(ByteSource&, std::uint64_t, std::unique_ptr<Volume>& out) {
  out.reset();
  return Status::NotNtfs;
}

Status ListPartitions(ByteSource&, std::vector<Partition>& out) {
  out.clear();
  return Status::Ok;
}

}  // namespace ntfs
