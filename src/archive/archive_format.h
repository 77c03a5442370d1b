// The layout of an archive file: the 46-byte header, the two table forms and
// the entry flags. Every integer is little-endian (archive/coding.h); sizes
// and offsets are unsigned 32-bit and their arithmetic wraps modulo 2^32.
#ifndef CORVANTH_ARCHIVE_ARCHIVE_FORMAT_H_
#define CORVANTH_ARCHIVE_ARCHIVE_FORMAT_H_

#include <cstdint>

namespace corvanth {

// Header, at file offset 0:
//   signature[16] reserved[14] tablePosition countBias countField version
// Positions in the file (entry data, the table) count from its end.
constexpr uint32_t kHeaderSize = 46;
constexpr uint32_t kSignatureSize = 16;
// The 15 characters and their zero; a reader compares all 16 bytes.
constexpr char kSignature[kSignatureSize + 1] = "Keeper of Tomes";
constexpr uint32_t kReservedOffset = 16;
constexpr uint32_t kReservedSize = 14;
constexpr uint32_t kTablePositionOffset = 30;
constexpr uint32_t kCountBiasOffset = 34;
constexpr uint32_t kCountFieldOffset = 38;
constexpr uint32_t kVersionOffset = 42;
// The 16 bytes at kTablePositionOffset that a save rewrites last.
constexpr uint32_t kTableFieldsSize = 16;
// entryCount = countField - countBias - kCountExtra.
constexpr uint32_t kCountExtra = 7;

// Version word. Bits 8 to 15 select the table form.
constexpr uint32_t kVersionFormMask = 0xFF00;
constexpr uint32_t kFormVersion1 = 0x100;
constexpr uint32_t kFormVersion2 = 0x200;
constexpr uint32_t kVersion100 = 0x100;  // names nibble-swapped
constexpr uint32_t kVersion101 = 0x101;  // 0x101..0x103: names also enciphered
constexpr uint32_t kVersion103 = 0x103;
constexpr uint32_t kVersion200 = 0x200;  // the only version the writer side writes

// Version 1.x table: from the table offset to the end of the file, records
//   nameLength(4) nameField(nameLength) A(4) B(4) C(4) flags(1) position(4)
// with A = compressedSize + realSize + kSizeBiasA, B = storedSize + kSizeBiasB,
// C = realSize.
constexpr uint32_t kV1NameLengthSize = 4;
constexpr uint32_t kV1FieldsSize = 17;
constexpr uint32_t kV1MinRecordSize = kV1NameLengthSize + kV1FieldsSize;
constexpr uint32_t kSizeBiasA = 715;
constexpr uint32_t kSizeBiasB = 37579;
// 0x101..0x103 name field: 2 ignored bytes, whole enciphered blocks, 4 ignored bytes.
constexpr uint32_t kV1NamePrefix = 2;
constexpr uint32_t kV1NameSuffix = 4;
constexpr uint32_t kV1NameOverhead = kV1NamePrefix + kV1NameSuffix;
// Offsets inside the 17-byte field group of a 1.x record.
constexpr uint32_t kV1FieldA = 0;
constexpr uint32_t kV1FieldB = 4;
constexpr uint32_t kV1FieldC = 8;

// Version 2.0 table: packedLength(4) realLength(4), then packedLength bytes of
// one zlib stream that inflates to records
//   name(zero-terminated) compressedSize(4) storedSize(4) realSize(4) flags(1) position(4)
constexpr uint32_t kV2TableHeaderSize = 8;
constexpr uint32_t kV2FieldsSize = 17;
constexpr uint32_t kV2MinRecordSize = 1 + kV2FieldsSize;  // the empty name's zero
// Offsets inside the 17-byte field group of a 2.0 record.
constexpr uint32_t kV2FieldCompressedSize = 0;
constexpr uint32_t kV2FieldStoredSize = 4;
constexpr uint32_t kV2FieldRealSize = 8;

// Both forms end their field group with the same two fields.
constexpr uint32_t kFieldFlags = 12;
constexpr uint32_t kFieldPosition = 13;

// Entry flags.
constexpr uint8_t FLAG_CARRIED = 0x01;       // survives a rewrite in plain form
constexpr uint8_t FLAG_MIXED_CIPHER = 0x02;  // wins when both cipher bits are set
constexpr uint8_t FLAG_LIGHT_CIPHER = 0x04;

// The longest name the index holds, without its zero.
constexpr uint32_t kMaxNameLength = 251;

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_ARCHIVE_FORMAT_H_
