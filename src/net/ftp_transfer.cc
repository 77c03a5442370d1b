// Placeholder until the transfers land: every transfer fails.
#include "app/patch_client.h"

namespace corvanth {

bool PatchClient::connectFtp(const char*) { return false; }
void PatchClient::disconnectFtp() { ftp_.reset(); }
bool PatchClient::changeFtpDirectory(const char*) { return false; }
int PatchClient::listFtpDirectory() { return 0; }
bool PatchClient::downloadFtpFile(const char*) { return false; }
bool PatchClient::isLocalCopyComplete(const char*) { return false; }
bool PatchClient::downloadFtpPatch(const char*) { return false; }
bool PatchClient::loadLocalPatch(const char*) { return false; }

}  // namespace corvanth
