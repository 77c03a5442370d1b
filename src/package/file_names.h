// Helpers on file names: extensions after the first dot.
#ifndef CORVANTH_PACKAGE_FILE_NAMES_H_
#define CORVANTH_PACKAGE_FILE_NAMES_H_

#include <cstddef>

namespace corvanth {

// True when name has a dot and the text after its first dot equals ext exactly.
bool hasExtension(const char* name, const char* ext);
// At the first dot of buffer, replaces what follows by ext; without a dot,
// appends '.' and ext; with ext null, cuts the text at its first dot.
// buffer holds size bytes; the result is cut to fit.
void replaceExtension(char* buffer, size_t size, const char* ext);
// Copies source into buffer, then replaceExtension.
void copyWithExtension(const char* source, const char* ext, char* buffer, size_t size);

// True when a name taken from a package stays inside the current directory:
// not absolute ('/' or '\' first, or a drive letter and ':'), and no ".."
// component, with '\' and '/' both counted as separators.
bool isContainedName(const char* name);

}  // namespace corvanth

#endif  // CORVANTH_PACKAGE_FILE_NAMES_H_
