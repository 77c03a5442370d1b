// Placeholder until the patch run lands.
#include "app/patch_client.h"

namespace corvanth {

void PatchClient::runPatchSession() {}
void PatchClient::showNoticeFile(const char*) {}
uint32_t PatchClient::readLocalVersion() { return 0; }
void PatchClient::writeLocalVersion(uint32_t) {}
bool PatchClient::saveArchive() { return false; }
bool PatchClient::repackArchive() { return false; }
void PatchClient::runRepackOnly() {}
void PatchClient::completeRun() {}
void PatchClient::applyPendingPatches(const PatchList&, uint32_t) {}

}  // namespace corvanth
