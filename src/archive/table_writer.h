// What the writer side (save and repack) encodes into an archive file: the
// version 2.0 table records, the sealed table with its length header, and
// the header's table fields.
#ifndef CORVANTH_ARCHIVE_TABLE_WRITER_H_
#define CORVANTH_ARCHIVE_TABLE_WRITER_H_

#include <cstdint>
#include <vector>

#include "archive/archive_format.h"
#include "archive/resource_archive.h"

namespace corvanth {

// Room reserved per record of a raw table before it is filled.
constexpr uint32_t kRawRecordReserve = 97;

// Appends one record: name text, its zero, compressedSize, storedSize,
// realSize, flags (1 byte), position.
void appendTableRecord(const ArchiveEntry& entry, std::vector<uint8_t>* raw);

// Sets out to the table as it lies in the file: packed length P, real
// length R = raw.size(), then the P bytes zlib's compress made of raw. False
// when compress fails or needs more than R + 8 bytes.
bool sealTable(const std::vector<uint8_t>& raw, std::vector<uint8_t>* out);

// The 16 bytes at offset 30 for a table at tableFileOffset (counted from
// the start of the file) holding entryCount records; version 0x200.
// REQUIRES: tableFileOffset >= the header size.
void encodeTableFields(uint32_t tableFileOffset, uint32_t entryCount,
                       uint8_t out[kTableFieldsSize]);

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_TABLE_WRITER_H_
