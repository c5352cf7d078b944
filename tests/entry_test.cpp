// Header records: the byte layout both ways, and a header list that an empty
// name does not end. (A list cut at every offset: Truncated, in
// damaged_archive_test.cpp, which checks the offset each cut is reported at.)
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "archive/header_list.h"
#include "tests/memory_stream.h"
#include "tests/support.h"

namespace {

using test::MemoryStream;

// Name, NUL, 16 attribute bytes kept as they were and the size little-endian,
// read unsigned; the terminator is 21 zero bytes.
TEST(EntryHeader, WritesAndReadsBackNameAttributesAndLittleEndianSize) {
  MemoryStream out;
  ArchiveEntry entry;
  entry.name = "sub\\b.txt";
  entry.dataSize = 0xF1020304;
  EXPECT_EQ(entry.WriteEntryHeader(out), 1);
  EXPECT_EQ(out.bytes(), std::string("sub\\b.txt") + std::string(17, '\0') + "\x04\x03\x02\xF1");
  MemoryStream terminator;
  ArchiveEntry().WriteEntryHeader(terminator);
  EXPECT_EQ(terminator.bytes(), std::string(21, '\0'));

  std::string bytes = out.bytes();
  for (int i = 0; i < 16; ++i) bytes[10 + i] = static_cast<char>(0xA0 + i);
  MemoryStream in(bytes);
  ArchiveEntry back;
  EXPECT_EQ(back.ReadEntryHeader(in), 1);
  EXPECT_EQ(back.name, "sub\\b.txt");
  EXPECT_EQ(back.dataSize, 0xF1020304u);
  EXPECT_EQ(back.attributes[15], 0xAF);
  EXPECT_TRUE(back.complete);
}

TEST(EntryHeader, EmptyNameWithASizeDoesNotEndTheList) {
  MemoryStream in(test::ArchiveBytes().Header("", 5).Terminator().str());
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  HeaderListEnd end = ReadHeaderList(in, entries);
  EXPECT_TRUE(end.complete);
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(end.dataOffset, 42u);
}

}  // namespace
