#pragma once

// The program's version record.
namespace resources {
inline constexpr char kCompany[] = "Quillmere";
inline constexpr char kProduct[] = "Corvantis";
inline constexpr char kVersion[] = "7.00";
// The name of the installed desktop entry (and the metainfo's id), without
// ".desktop": the desktop matches the windows to their launcher by it.
inline constexpr char kDesktopFileId[] = "com.quillmere.Corvantis";
} // namespace resources
