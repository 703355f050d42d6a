#pragma once
// The levels of the installers folder,
// <common application data>\ZARO\Installers\Orbelle. Standard users may create folders under the common
// application-data folder, so any level may exist already, made by anyone.
//
// "ZARO" and "ZARO\Installers" are the maker's shared folders and may hold
// other products' files with security of their own: when an administrator
// (or SYSTEM, or TrustedInstaller) made them, they are left exactly as they
// are. The product's own last level is always brought to the protected
// state. A level owned by anyone else was made by an account without
// administrator rights, which may still hold handles opened before any take-
// over (a new owner and DACL revoke nothing already granted to an open
// handle): it is never adopted, but moved aside and made anew.
#include <windows.h>

#include <string>

#include "framework/object_owner.h"
#include "framework/test_seam.h"

// Which level an existing folder is.
enum class LevelRole {
    Shared,  // a level above the last: the maker's, shared with other products
    Product, // the last level: this product's own
};

// What is found at an existing level's name, as its own handle shows it.
struct ExistingLevel {
    LevelRole role = LevelRole::Product;
    OwnerKind owner = OwnerKind::Unknown;
    // The system records owners where the levels lie: the common
    // application-data folder itself shows an administrative owner. Where it
    // does not (Wine reports every file as owned by the caller), an owner
    // says nothing about who made a level and is not looked at.
    bool ownersRecorded = true;
    DWORD attributes = 0; // FILE_ATTRIBUTE_* of the entry itself
};

enum class LevelAction {
    LeaveAsIs,          // a shared level an administrator made
    Protect,            // the product's level an administrator made: owner and DACL set
    MoveAside,          // anyone else's: moved aside under a new name, the level made anew
    RefuseReparsePoint, // a junction or link an administrator made: exit_code::kReparsePointRefused
    RefuseNotFolder,    // a file an administrator made: ERROR_DIRECTORY
};

// The action for `level`:
//   owners recorded and owner neither Administrators, SYSTEM nor
//   TrustedInstaller (Unknown included)              -> MoveAside, whatever it is
//   otherwise a reparse point                         -> RefuseReparsePoint
//   otherwise not a folder                            -> RefuseNotFolder
//   otherwise Shared                                  -> LeaveAsIs
//   otherwise Product                                 -> Protect
LevelAction DecideExistingLevel(const ExistingLevel& level);

// Makes `base` + "\" + each level of `relative` (levels separated by "\") a
// folder fit for the package, from the top down. A missing level is created
// with the installers folder's descriptor (BuildInstallersFolderSecurity). An
// existing one is opened itself (never what a reparse point leads to) and
// dealt with as DecideExistingLevel says, on that handle; the last level of
// `relative` is the Product level, the others are Shared. A level moved aside
// is renamed to "<name>.moved-<UUID text>" in the same folder, with
// everything in it, and the level is then created anew. `base` itself must
// exist and is not changed; its owner decides ExistingLevel::ownersRecorded.
// Returns 0 with every level in place, else the first failure's code: the
// system code (of the open, the protection, the move aside or the creation),
// exit_code::kReparsePointRefused, or ERROR_DIRECTORY. A level created or
// moved before the failure stays so.
int MakeProtectedFolders(const std::wstring& base, const std::wstring& relative);

// Test seams (framework/test_seam.h): stand-ins for answers this machine
// cannot give for real (Wine keeps no owners) and for the moved-aside names.
//
// The owner kind of the entry behind `entry` (opened with READ_CONTROL) at
// `path`, a level or `base`; Unknown when it cannot be read. Real: the owner
// that the system reports for the handle (QueryOwnerKind).
using EntryOwnerQuery = OwnerKind (*)(HANDLE entry, const std::wstring& path);
extern Seam<EntryOwnerQuery> g_levelOwnerSeam;
// The unique part of a moved-aside name: sets `text` and returns 0, or
// returns an RPC status. Real: NewUuidText (framework/uuid_text.h).
using AsideTextSource = long (*)(std::wstring& text);
extern Seam<AsideTextSource> g_asideTextSeam;
