// The two commands of the main window, free of any window system: they ask
// the user through WindowServices and hand the answers to a fresh Archive.
#pragma once

#include <string>

#include "ui/window_services.h"

inline constexpr char kExtractTitle[] = "Extract file...";
inline constexpr char kCompressTitle[] = "Compress folder..";
inline constexpr char kSaveTitle[] = "Save to...";

// Asks for an archive and unpacks it into a folder beside it. The archive's
// folder becomes the current directory, and Extract gets the bare name.
void ExtractCommand(WindowServices& services);

// Asks for a folder, then for the archive to write, and packs the folder
// into it. The archive's folder becomes the current directory, and
// CompressPath gets the bare name and the folder's full path.
void CompressCommand(WindowServices& services);
