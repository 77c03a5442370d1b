// The local version file: the number of the last patch list fully applied
// here, 4 bytes little-endian.
#include <cstdint>
#include <memory>

#include "app/patch_client.h"

namespace corvanth {

uint32_t PatchClient::readLocalVersion() {
  std::unique_ptr<RandomFile> file = env_->openRead(settings_.versionFile);
  if (file == nullptr) return 0;
  uint8_t bytes[4];
  // A short file cannot hold a number; it counts as no version at all.
  if (file->readAt(0, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return 0;
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

void PatchClient::writeLocalVersion(uint32_t version) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(version), static_cast<uint8_t>(version >> 8),
                            static_cast<uint8_t>(version >> 16),
                            static_cast<uint8_t>(version >> 24)};
  // Replaced as a whole, so a crash leaves either the old or the new number;
  // a failure is silent and the next run applies the same patches again.
  env_->replaceFileContents(settings_.versionFile, bytes, sizeof bytes);
}

}  // namespace corvanth
