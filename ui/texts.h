// The texts the desktop program shows. The Windows resource script carries
// the same strings for the resources it defines.
#pragma once

// Application name and version, also those of the version record.
inline constexpr char kApplicationName[] = "VRKTool";
// The build gives the project's version as VRK_VERSION.
inline constexpr char kApplicationVersion[] = VRK_VERSION;
inline constexpr char kDesktopFileName[] = "vrktool";

// IDD_MAIN
inline constexpr char kMainCaption[] = "Korvane VRK Tool";
inline constexpr char kExtractButton[] = "Extract";
inline constexpr char kCompressButton[] = "Compress";
inline constexpr char kMainCredit[] = "Korvane VRK Tool - unpacks and packs game archives";

// IDS_ABOUT: the About item of the window menu.
inline constexpr char kAboutMenuItem[] = "&About VRKTool...";

// IDD_ABOUT
inline constexpr char kAboutCaption[] = "About VRKTool";
inline constexpr char kAboutTitle[] = "Korvane VRK Tool\nVersion 1.01a";
inline constexpr char kAboutCredit[] = "By the VRK Tool authors.\nThanks to all who tested it.";
inline constexpr char kAboutOk[] = "OK";
