// Reading an FTP directory listing into names and sizes.
//
// Three answers are understood: MLSD (facts, then "; name"), the Unix
// "ls -l" form of LIST, and the DOS/IIS form of LIST. Names keep their
// spaces; "." and ".." are not entries.
#ifndef CORVANTH_NET_FTP_LISTING_H_
#define CORVANTH_NET_FTP_LISTING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "net/server_listing.h"

namespace corvanth {

// One entry of a listing. Directories report the size the server gives
// them (0 when it gives none).
struct FtpListEntry {
  std::string name;
  uint64_t size = 0;
};

// One line of a LIST answer, Unix or DOS form. False for lines that name
// no entry (a "total" line, ".", "..", text of an unknown form).
bool parseListLine(std::string_view line, FtpListEntry* entry);
// One line of an MLSD answer. False for the directory itself and its parent.
bool parseMlsdLine(std::string_view line, FtpListEntry* entry);

// Sets the size of every entry of a whole answer in listing, in the order
// given, so a name reported twice keeps the later size. The size is the
// low 32 bits of the reported one.
void addListing(std::string_view text, bool mlsd, ServerListing* listing);

}  // namespace corvanth

#endif  // CORVANTH_NET_FTP_LISTING_H_
