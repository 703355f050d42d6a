#include "framework/object_owner.h"

#include <aclapi.h>
#include <sddl.h>

#include "framework/unique_handle.h"

namespace {

// NT SERVICE\TrustedInstaller: the service SID derived from the service name,
// the same on every Windows that has the service.
const wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsTrustedInstaller(PSID sid)
{
    PSID trustedInstaller = nullptr;
    if (!ConvertStringSidToSidW(kTrustedInstallerSid, &trustedInstaller))
        return false;
    const UniqueLocalMemory owned(trustedInstaller);
    return EqualSid(sid, trustedInstaller) != FALSE;
}

} // namespace

OwnerKind ClassifyOwner(PSID owner)
{
    if (owner == nullptr || !IsValidSid(owner))
        return OwnerKind::Unknown;
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
        return OwnerKind::Administrators;
    if (IsWellKnownSid(owner, WinLocalSystemSid))
        return OwnerKind::System;
    if (IsTrustedInstaller(owner))
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
