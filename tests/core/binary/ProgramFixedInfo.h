#pragma once
// The fixed part of the program's own version resource, as both the built resource and the
// desktop program's executable must carry it.
#include <gtest/gtest.h>

#include "core/binary/VersionResource.h"

namespace morvel::testing {

inline void ExpectProgramFixedInfo(const FixedFileInfo& fixed) {
  EXPECT_EQ(fixed.fileVersionMs, 0x00000006u);
  EXPECT_EQ(fixed.fileVersionLs, 0x00010007u);
  EXPECT_EQ(fixed.productVersionMs, 0x00000006u);
  EXPECT_EQ(fixed.productVersionLs, 0x00010007u);
  EXPECT_EQ(fixed.fileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed.fileFlags, 0u);
  EXPECT_EQ(fixed.fileOs, 4u);
  EXPECT_EQ(fixed.fileType, 1u);
}

}  // namespace morvel::testing
