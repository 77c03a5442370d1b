// Placeholder until the transfers land: every transfer fails.
#include "app/patch_client.h"

namespace corvanth {

bool PatchClient::openInternet() { return false; }
void PatchClient::closeInternet() { internet_.reset(); }
bool PatchClient::downloadHttpFile(const char*, const char*, const char*) { return false; }

}  // namespace corvanth
