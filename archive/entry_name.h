// Rules for the names extraction is given: entry names from the archive and
// the archive's own name, from which the output folder is made.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Why extraction refuses an entry name, or nullptr if it is accepted. Refused
// are names that would leave the output folder or that no file system should
// be handed: absolute names, any ':', a ".." component (either separator
// counts), control bytes, and names with no file name at their end. On
// Windows also a part that is a device name (CON, nul.txt, COM1, ...) or
// that ends in a dot or a space, which the system would silently drop.
const char* RefusedEntryNameReason(std::string_view name);

// Why a file or folder name found while packing cannot be stored so that
// extraction gives it back, or nullptr: a '\' would read back as a folder
// level, and ':' and control bytes are names extraction refuses.
const char* UnstorableItemNameReason(std::string_view itemName);

// Why an archive's name yields no plain output folder beside it, or nullptr.
const char* RefusedArchiveNameReason(std::string_view archiveName);

// The output folder of an archive: its name less the last four characters.
std::string OutputFolderName(std::string_view archiveName);

// A name for a message: control bytes shown as ^A ... ^_ and ^?.
std::string PrintableName(std::string_view name);

// The components of a path split at either separator, empty ones included.
std::vector<std::string_view> SplitPath(std::string_view path);

// For each of these accepted entry names, whether it may lead to the same
// file as an earlier one, or to a folder that an earlier one creates as a
// file, or the other way round: then the order of the two decides what is
// made, and it must wait for every name before it. Cautious: "." and empty
// parts are dropped and ASCII case is ignored on every system; on Windows
// any name with a byte outside ASCII or a '~' (a possible short name)
// counts as meeting an earlier one.
std::vector<bool> NamesMeetingEarlierOnes(const std::vector<std::string_view>& names);
