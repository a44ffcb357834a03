#pragma once

// The program's version record.
namespace resources {
inline constexpr char kCompany[] = "Quillmere";
inline constexpr char kProduct[] = "Corvantis";
inline constexpr char kVersion[] = "7.00";
} // namespace resources
