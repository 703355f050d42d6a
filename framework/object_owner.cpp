#include "framework/object_owner.h"

#include <aclapi.h>

#include <cstring>

#include "framework/unique_handle.h"

namespace {

// SIDs laid out in place, so that telling them apart needs no conversion.
template <int kSubAuthorities> struct StaticSid {
    BYTE revision;
    BYTE subAuthorityCount;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD subAuthorities[kSubAuthorities];
    // True when the valid SID `sid` is this one: the same count, then the same
    // bytes (a SID is its 8-byte head and its sub-authorities).
    bool Is(PSID sid) const
    {
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        return bytes[1] == kSubAuthorities && memcmp(bytes, this, 8 + 4 * kSubAuthorities) == 0;
    }
};

// BUILTIN\Administrators, S-1-5-32-544.
const StaticSid<2> kAdministrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY, {32, 544}};
// NT AUTHORITY\SYSTEM, S-1-5-18.
const StaticSid<1> kSystem = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {18}};
// NT SERVICE\TrustedInstaller: the service SID derived from the service's
// name, the same on every Windows that has the service.
const StaticSid<6> kTrustedInstaller = {
    SID_REVISION, 6, SECURITY_NT_AUTHORITY, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}};

} // namespace

OwnerKind ClassifyOwner(PSID owner)
{
    if (owner == nullptr)
        return OwnerKind::Unknown;
    if (kAdministrators.Is(owner))
        return OwnerKind::Administrators;
    if (kSystem.Is(owner))
        return OwnerKind::System;
    if (kTrustedInstaller.Is(owner))
        return OwnerKind::TrustedInstaller;
    return OwnerKind::Other;
}

bool IsAdministrativeOwner(OwnerKind kind)
{
    return kind == OwnerKind::Administrators || kind == OwnerKind::System || kind == OwnerKind::TrustedInstaller;
}

int QueryOwnerKind(HANDLE object, SE_OBJECT_TYPE type, OwnerKind& kind)
{
    kind = OwnerKind::Unknown;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return static_cast<int>(error);
    // `owner` points into the descriptor, which the system allocated for us.
    const UniqueLocalMemory owned(descriptor);
    kind = ClassifyOwner(owner);
    return 0;
}
