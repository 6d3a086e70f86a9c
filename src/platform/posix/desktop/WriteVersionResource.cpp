// Writes the program's version resource, built from Version.h, as a C array initialiser to the
// file named by the argument, for the build to compile into the executable.
#include <cstdio>

#include "core/binary/VersionResourceBuilder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  const auto bytes = morvel::BuildVersionResource(morvel::MorvelVersionContent());
  for (std::size_t i = 0; i < bytes.size(); ++i) std::fprintf(out, "0x%02X,%s", bytes[i], i % 16 == 15 ? "\n" : " ");
  std::fprintf(out, "\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
