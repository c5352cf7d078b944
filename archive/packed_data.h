// The data block of a packing run, as a list of pieces.
//
// Each packed entry has exactly one piece, in entry order: piece k holds the
// bytes of entries[k]. A small file's bytes are read during the walk and
// held in memory while the held bytes stay within a fixed budget; any other
// file is referenced by the identity it had when the walk opened it and the
// size the walk logged, and its bytes are copied into the archive when the
// archive is written. A referenced file stays open from the walk to the
// write while the files kept open stay within a share of what the process
// may open; any other is opened again by its path at the write. Memory thus stays bounded whatever the size of the
// tree: the budget, plus a few bytes per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/platform.h"

class PackedData {
 public:
  // Files up to this size are held when the budget has room for them; a
  // larger one costs less copied file to file than held.
  static constexpr std::size_t kHoldUpTo = 256 * 1024;
  // Bytes the walk may hold, all files together.
  std::size_t holdBudget = 16 << 20;
  // Referenced files that may stay open from the walk to the write, at
  // most; fewer when AllowOpen() allows fewer.
  std::size_t keepOpenUpTo = std::numeric_limits<std::size_t>::max();
  // How many files the process may keep open for this data block; none
  // until this is called, and none again after clear().
  void AllowOpen(std::size_t files) { openAllowed_ = files; }

  struct Piece {
    std::uint32_t size = 0;
    bool held = false;
    platform::NodeId id;  // a referenced file's identity at the walk
  };

  // Room for size + 1 bytes at the end of the held bytes (the one more byte
  // lets a read tell whether the file grew), or null when a file of this size
  // is not held. The bytes count only once Keep() is called.
  std::uint8_t* HoldPlace(std::size_t size);
  // Appends a piece of size bytes just read into HoldPlace(size).
  void Keep(std::uint32_t size);
  // Appends a piece whose bytes stay in the file until the archive is
  // written; the file, opened and unread, is kept open for the write while
  // keepOpenUpTo and AllowOpen() allow.
  void Reference(std::uint32_t size, std::unique_ptr<platform::ByteStream> file);
  // The file a piece kept open since the walk, or null when it was not kept
  // (or was taken already).
  std::unique_ptr<platform::ByteStream> TakeOpen(std::size_t piece);

  const std::vector<Piece>& pieces() const { return pieces_; }
  const std::uint8_t* held() const { return held_.data(); }
  // The sum of every piece's size.
  std::uint64_t size() const { return size_; }
  // Whether every piece is held.
  bool AllHeld() const { return heldSize_ == size_; }
  // Gives back everything held, and closes every file kept open.
  void clear();

 private:
  std::vector<Piece> pieces_;
  std::vector<std::unique_ptr<platform::ByteStream>> open_;  // by piece; null where none is kept
  std::size_t keptOpen_ = 0;
  std::size_t openAllowed_ = 0;
  platform::LargeBuffer held_;  // holdBudget + 1 bytes, made on first use
  std::size_t heldSize_ = 0;
  std::uint64_t size_ = 0;
};
