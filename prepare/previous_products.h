#pragma once
#include <string>

#include "staging/child_process.h"

class CInstallerLauncher;

// Product codes of earlier Windows Installer products to remove before the
// package installs: two parallel lists, one for native 32-bit Windows and one
// for WOW64, and one count for both. Only the first `count` entries of each
// list are read.
struct PreviousProductList {
    const wchar_t* const* codes32;
    const wchar_t* const* codes64;
    int count;
};

// The list compiled into this product (product::kPreviousProducts32/64 and
// product::kPreviousProductCount). It is empty: its count is 0.
PreviousProductList ProductPreviousProducts();

// Removes the earlier products of ProductPreviousProducts(), choosing list and
// registry view by app.m_bWow64. See the overload below.
int RemovePreviousProducts(const CInstallerLauncher& app);

// Removes each earlier product of `list` that is installed, one after the
// other. `wow64` picks the WOW64 list and looks for the product's Uninstall
// entry (HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\<code>) in the
// 64-bit registry view; otherwise the 32-bit list and the default view are
// used. A product whose entry is absent or unreadable is skipped. An installed
// one is removed by running Windows Installer from the system folder
// (WindowsInstallerPath) with "/passive /X <code>" through RunProgram, started
// as `start` says, which waits for it to end.
//
// Returns the number of removals whose result was not 0 (a nonzero exit code
// or a failure to start it); a failure never stops the later entries. With a count
// below 1, returns 0 without touching the registry or starting anything.
int RemovePreviousProducts(bool wow64, const PreviousProductList& list, const ChildStart& start = {});
