#pragma once
// The security of the folders that payloads are written to. The launcher runs
// elevated; the work folder lies in a user's temporary folder and the
// installers folder under the common application-data folder, where standard
// users may create folders. Whoever can write to either could swap a program
// or the package between its writing and its use.
//
// Under Wine these descriptors are accepted but not kept (reading a folder's
// security back gives Wine's default): tests check the descriptors built here
// in their text form (docs/WINE.md).
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

// What the work folder's security depends on: the token the process runs with.
struct TokenFacts {
    // The token is a member of Administrators with the group enabled
    // (CheckTokenMembership): an elevated administrator, or SYSTEM. A
    // non-elevated administrator's filtered token is not.
    bool administratorsMember = false;
    // The SID of the token's user in its string form ("S-1-5-21-...").
    std::wstring userSid;
};

// Reads the facts of the process token. Returns 0 and fills `facts`, or a
// nonzero system code (`facts` unchanged).
int QueryProcessTokenFacts(TokenFacts& facts);

// Whether the process token is a member of Administrators (see TokenFacts).
// Returns 0 and sets `member`, or a nonzero system code.
int QueryAdministratorsMembership(bool& member);

// The work folder's descriptor as SDDL for a token with `facts`. Always a
// protected DACL (nothing inherited from the temporary folder) whose entries
// are inherited by files and folders in it, full control for Administrators
// and SYSTEM, and nothing for anyone else; owner and group are left to the
// system:
// - administrators member: no entry for the account's own SID, which its
//   non-elevated programs share, and a High mandatory label with no-write-up
//   (inherited too), so that a program below High integrity cannot write,
//   delete or change the security of anything in it, even as its owner:
//     "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)S:(ML;OICI;NW;;;HI)"
// - otherwise (a standard user, whose run writes as itself): the user's entry
//   stays, and there is no label:
//     "D:P(A;OICI;FA;;;<user>)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"
std::wstring WorkFolderSddl(const TokenFacts& facts);

// Builds the descriptor of WorkFolderSddl for the process token. On success
// `descriptor` owns a self-relative descriptor and 0 is returned; otherwise a
// nonzero system code.
int BuildWorkFolderSecurity(UniqueLocalMemory& descriptor);

// Builds the installers folder's descriptor: owner Administrators; a protected
// DACL granting full control to Administrators and SYSTEM and read and execute
// to Users, each inherited by files and folders in it. 0 or a nonzero code.
int BuildInstallersFolderSecurity(UniqueLocalMemory& descriptor);
