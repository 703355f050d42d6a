#pragma once
// Which release of the driver package is installed, as Windows Installer
// records it.
#include <cstdint>

// Follows the driver's record of its product code to the product's entry in
// Windows' Uninstall list and reads the version shown there:
//   1. "ProductCode" from the driver's settings key (HKLM, default view),
//      which is opened with open-or-create, so it exists afterwards;
//   2. "DisplayVersion" from the product's entry in the Uninstall list,
//      HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product
//      code, verbatim>, in the 64-bit view when `isWow64` is set, else in the
//      default view. This entry is opened read-only:
//      Windows' list of installed products is never added to, so a product
//      code that names no registered product creates nothing there;
//   3. the first three dot-separated fields of the version text, as
//      ParseVersionString reads them (wcstol-like, clamped to 32 bits).
// Returns true with all three outputs written. Returns false, leaving them
// untouched, when either value is missing or does not read as text (a
// REG_SZ of ISO 8859-1 characters), when the Uninstall entry does not exist,
// or when the version text has fewer than two full stops.
bool DetectInstalledVersion(bool isWow64, std::int32_t& major, std::int32_t& minor, std::int32_t& build);
