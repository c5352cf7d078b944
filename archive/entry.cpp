// Reading and writing one header record.
#include <cstring>

#include "archive/archive.h"

int ArchiveEntry::ReadEntryHeader(platform::ByteStream& stream) {
  complete = false;
  // The name runs to the first 0 byte. The end of the stream (or a read
  // error) inside it, or a name past kMaxEntryNameLength, leaves the header
  // incomplete: damage, not the end.
  for (;;) {
    int c = stream.GetByte();
    if (c < 0) return 0;
    if (c == 0) break;
    if (name.size() == kMaxEntryNameLength) return 0;
    name += static_cast<char>(c);
  }
  // A block or size cut short keeps what was there and zeros for the rest,
  // so the header reads as size 0 and ends the list; `complete` says why.
  if (stream.Read(attributes.data(), attributes.size()) != attributes.size()) return 0;
  std::uint8_t size[4] = {};
  std::size_t got = stream.Read(size, sizeof size);
  dataSize = static_cast<std::uint32_t>(size[0]) | static_cast<std::uint32_t>(size[1]) << 8 |
             static_cast<std::uint32_t>(size[2]) << 16 | static_cast<std::uint32_t>(size[3]) << 24;
  if (got != sizeof size) return 0;
  complete = true;
  return dataSize != 0 ? 1 : 0;
}

int ArchiveEntry::WriteEntryHeader(platform::ByteStream& stream) const {
  // Name, its 0 byte, the attributes and the little-endian size, handed to
  // the buffered stream in one piece.
  std::string header;
  header.reserve(name.size() + kHeaderFixedSize);
  header.append(name);
  header.push_back('\0');
  header.append(reinterpret_cast<const char*>(attributes.data()), attributes.size());
  for (int shift = 0; shift < 32; shift += 8) header.push_back(static_cast<char>((dataSize >> shift) & 0xFF));
  return stream.Write(header.data(), header.size()) ? 1 : 0;
}
