#include "staging/folder_security.h"

#include <sddl.h>

#include "staging/failure_report.h"

namespace {

// SDDL of the installers folder: owner BA; protected DACL: BA and SY full
// control, BU read and execute, all inherited by files (OI) and folders (CI).
const wchar_t kInstallersFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

int FromSddl(const std::wstring& sddl, UniqueLocalMemory& descriptor)
{
    PSECURITY_DESCRIPTOR built = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &built, nullptr))
        return LastErrorStatus();
    descriptor.reset(built);
    return 0;
}

// The SID string of the token's user.
int TokenUserSid(HANDLE token, std::wstring& sid)
{
    // TOKEN_USER with the largest SID fits easily.
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size))
        return LastErrorStatus();
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return LastErrorStatus();
    UniqueLocalMemory owned(text);
    sid = text;
    return 0;
}

} // namespace

int QueryAdministratorsMembership(bool& member)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize))
        return LastErrorStatus();
    // Null: the thread's impersonation token if any, else the process token;
    // the launcher does not impersonate. A deny-only group does not count.
    BOOL isMember = FALSE;
    if (!CheckTokenMembership(nullptr, sid, &isMember))
        return LastErrorStatus();
    member = isMember != FALSE;
    return 0;
}

int QueryProcessTokenFacts(TokenFacts& facts)
{
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return LastErrorStatus();
    TokenFacts read;
    int status = TokenUserSid(token.get(), read.userSid);
    if (status == 0)
        status = QueryAdministratorsMembership(read.administratorsMember);
    if (status == 0)
        facts = read;
    return status;
}

std::wstring WorkFolderSddl(const TokenFacts& facts)
{
    const std::wstring everyRun = L"(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    if (facts.administratorsMember)
        return L"D:P" + everyRun + L"S:(ML;OICI;NW;;;HI)";
    return L"D:P(A;OICI;FA;;;" + facts.userSid + L")" + everyRun;
}

int BuildWorkFolderSecurity(UniqueLocalMemory& descriptor)
{
    TokenFacts facts;
    const int status = QueryProcessTokenFacts(facts);
    if (status != 0)
        return status;
    return FromSddl(WorkFolderSddl(facts), descriptor);
}

int BuildInstallersFolderSecurity(UniqueLocalMemory& descriptor)
{
    return FromSddl(kInstallersFolderSddl, descriptor);
}
