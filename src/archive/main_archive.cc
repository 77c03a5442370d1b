// Placeholder; implementation follows.
#include "archive/main_archive.h"

namespace corvanth {

MainArchive::MainArchive(Env* env) : env_(env), file_(env) {}
MainArchive::~MainArchive() = default;

}  // namespace corvanth
