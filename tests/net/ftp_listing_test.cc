// Listing lines of real servers: Unix ls -l, DOS/IIS and MLSD.
#include "net/ftp_listing.h"

#include <gtest/gtest.h>

namespace corvanth {
namespace {

struct LineCase {
  const char* line;
  bool entry;
  const char* name;
  uint64_t size;
};

TEST(FtpListingTest, ListLinesInUnixAndDosForms) {
  const LineCase cases[] = {
      // Unix: owner and group, or owner only; time or year; names with blanks.
      {"-rw-r--r--   1 owner    group         500 Jan 15 15:45 p1.vpt\r", true, "p1.vpt", 500},
      {"-rw-r--r--   1 ftp      ftp       1048576 Dec 01  2020 with space.cgz", true,
       "with space.cgz", 1048576},
      {"-rw-r--r-- 1 owner 42 Jan  5 09:05 no group.vpt", true, "no group.vpt", 42},
      {"drwxr-xr-x   2 root     root         4096 Mar  3 12:00 sub", true, "sub", 4096},
      {"-rw-r--r--   1 0 0 7 Jan 15 15:45  leading blank", true, " leading blank", 7},
      {"lrwxrwxrwx   1 root     root           11 Jan 15 15:45 link.vpt -> p1.vpt", true,
       "link.vpt", 11},
      {"-rw-r--r--   1 owner group 123 2020-01-15 15:45 iso.vpt", true, "iso.vpt", 123},
      {"-rw-r--r--   1 owner group 5000000000 Jan 15 15:45 big.vpt", true, "big.vpt",
       5000000000ull},
      // DOS/IIS: 2- or 4-digit years, 12- or 24-hour clock, <DIR> without size.
      {"01-15-20  03:45PM                  500 p1.vpt", true, "p1.vpt", 500},
      {"01-15-2020  15:45       <DIR>          sub dir", true, "sub dir", 0},
      {"12-01-20  11:00AM                    0 empty.cgz\r", true, "empty.cgz", 0},
      // No entry.
      {"total 24", false, "", 0},
      {"drwxr-xr-x   2 root     root         4096 Mar  3 12:00 .", false, "", 0},
      {"drwxr-xr-x   2 root     root         4096 Mar  3 12:00 ..", false, "", 0},
      {"01-15-20  03:45PM       <DIR>          ..", false, "", 0},
      {"", false, "", 0},
      {"garbage that is no listing", false, "", 0},
  };
  for (const LineCase& c : cases) {
    FtpListEntry entry;
    EXPECT_EQ(parseListLine(c.line, &entry), c.entry) << c.line;
    if (!c.entry) continue;
    EXPECT_EQ(entry.name, c.name) << c.line;
    EXPECT_EQ(entry.size, c.size) << c.line;
  }
}

TEST(FtpListingTest, MlsdLines) {
  const LineCase cases[] = {
      {"type=file;size=500;modify=20200115154500; p1.vpt\r", true, "p1.vpt", 500},
      {"modify=20200115154500;perm=r;size=2;type=file;unique=fe00; with space.cgz", true,
       "with space.cgz", 2},
      {"Type=dir;Sizd=4096;Modify=20200115154500; sub", true, "sub", 4096},
      {"type=dir;modify=20200115154500; sizeless", true, "sizeless", 0},
      {"type=file;size=9; semi;colon.vpt", true, "semi;colon.vpt", 9},
      {"type=cdir;sizd=4096; .", false, "", 0},
      {"type=pdir;sizd=4096; ..", false, "", 0},
      {"no-facts-and-no-name", false, "", 0},
  };
  for (const LineCase& c : cases) {
    FtpListEntry entry;
    EXPECT_EQ(parseMlsdLine(c.line, &entry), c.entry) << c.line;
    if (!c.entry) continue;
    EXPECT_EQ(entry.name, c.name) << c.line;
    EXPECT_EQ(entry.size, c.size) << c.line;
  }
}

TEST(FtpListingTest, LaterReportOfANameWinsAndSizesKeepTheirLow32Bits) {
  ServerListing listing;
  addListing(
      "-rw-r--r--   1 o g 10 Jan 15 15:45 p1.vpt\r\n"
      "-rw-r--r--   1 o g 30 Jan 15 15:45 P1.vpt\r\n"
      "-rw-r--r--   1 o g 4294967306 Jan 15 15:45 huge.vpt\r\n"
      "-rw-r--r--   1 o g 20 Jan 15 15:45 p1.vpt\r\n",
      false, &listing);
  EXPECT_EQ(listing.size(), 3u);
  EXPECT_EQ(listing.sizeOf("p1.vpt"), 20);
  EXPECT_EQ(listing.sizeOf("P1.vpt"), 30);
  EXPECT_EQ(listing.sizeOf("huge.vpt"), 10);
}

}  // namespace
}  // namespace corvanth
