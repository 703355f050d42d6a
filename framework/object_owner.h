#pragma once
// Who owns a file, folder or kernel object, in the few kinds that the
// launcher's security decisions tell apart. An object's owner can always
// change its security, and only an administrator (or SYSTEM) can make an
// object owned by Administrators, SYSTEM or TrustedInstaller: such an owner
// says that no standard user made the object.
#include <windows.h>
#include <accctrl.h>

enum class OwnerKind {
    Administrators,   // BUILTIN\Administrators (S-1-5-32-544)
    System,           // NT AUTHORITY\SYSTEM (S-1-5-18)
    TrustedInstaller, // NT SERVICE\TrustedInstaller
    Other,            // any other account or group, the launcher's own user included
    Unknown,          // no owner could be read
};

// The kind of `owner`, a valid SID (as GetSecurityInfo gives); Unknown for a
// null one.
OwnerKind ClassifyOwner(PSID owner);

// True for Administrators, SYSTEM and TrustedInstaller.
bool IsAdministrativeOwner(OwnerKind kind);

// Reads the owner of the object behind `object` (opened with READ_CONTROL) of
// type `type` (SE_FILE_OBJECT, SE_KERNEL_OBJECT) and classifies it. Returns 0
// and sets `kind`; otherwise the system error code of GetSecurityInfo, and
// `kind` is Unknown.
int QueryOwnerKind(HANDLE object, SE_OBJECT_TYPE type, OwnerKind& kind);
