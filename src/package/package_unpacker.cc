// Placeholder until the package stage lands.
#include "app/patch_client.h"
#include "package/file_names.h"

namespace corvanth {

bool PatchClient::unpackPackage(const char* name, bool) { return !hasExtension(name, "cgz"); }
bool PatchClient::unpackRecords(const char*) { return false; }

}  // namespace corvanth
