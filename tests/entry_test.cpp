// Header records: the byte layout both ways, and a cut header read as damage.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "archive/header_list.h"
#include "tests/memory_stream.h"
#include "tests/support.h"

namespace {

using test::MemoryStream;

TEST(EntryHeader, WritesNameNulZeroAttributesAndLittleEndianSize) {
  MemoryStream out;
  ArchiveEntry entry;
  entry.name = "sub\\b.txt";
  entry.dataSize = 0x01020304;
  EXPECT_EQ(entry.WriteEntryHeader(out), 1);
  EXPECT_EQ(out.bytes(), std::string("sub\\b.txt") + std::string(17, '\0') + "\x04\x03\x02\x01");
  MemoryStream terminator;
  ArchiveEntry().WriteEntryHeader(terminator);
  EXPECT_EQ(terminator.bytes(), std::string(21, '\0'));
}

TEST(EntryHeader, ReadsBackWhatWasWrittenAttributesIncluded) {
  std::string bytes = test::ArchiveBytes().Header("x", 0xFFFFFFFF).str();
  for (int i = 0; i < 16; ++i) bytes[2 + i] = static_cast<char>(0xA0 + i);
  MemoryStream in(bytes);
  ArchiveEntry entry;
  EXPECT_EQ(entry.ReadEntryHeader(in), 1);
  EXPECT_EQ(entry.name, "x");
  EXPECT_EQ(entry.dataSize, 0xFFFFFFFFu);
  EXPECT_EQ(entry.attributes[15], 0xAF);
  EXPECT_TRUE(entry.complete);
}

TEST(EntryHeader, EmptyNameWithASizeDoesNotEndTheList) {
  MemoryStream in(test::ArchiveBytes().Header("", 5).Terminator().str());
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  HeaderListEnd end = ReadHeaderList(in, entries);
  EXPECT_TRUE(end.complete);
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(end.dataOffset, 42u);
}

// Every prefix of a header list short of its end reads as damage at the
// header that was cut, never as a clean end.
TEST(EntryHeader, EveryCutIsDamageAtTheRightOffset) {
  const std::string list = test::ArchiveBytes().Header("first.txt", 3).Header("s\\b", 7).Terminator().str();
  for (std::size_t cut = 0; cut < list.size(); ++cut) {
    MemoryStream in(list.substr(0, cut));
    std::vector<std::unique_ptr<ArchiveEntry>> entries;
    HeaderListEnd end = ReadHeaderList(in, entries);
    EXPECT_FALSE(end.complete) << cut;
    EXPECT_EQ(end.lastHeaderOffset, cut < 30 ? 0u : cut < 54 ? 30u : 54u) << cut;
  }
  MemoryStream in(list);
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  EXPECT_TRUE(ReadHeaderList(in, entries).complete);
}

}  // namespace
