#include "staging/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "launcher/exit_codes.h"
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

// Gives the existing folder `path` the descriptor's owner and DACL. The folder
// is opened itself (not what a reparse point leads to), and checked on that
// handle, so nothing can be swapped in between.
int ProtectExistingFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    UniqueFileHandle folder(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder)
        return LastErrorStatus();
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(folder.get(), &info))
        return LastErrorStatus();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return exit_code::kReparsePointRefused;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return LastErrorStatus();
    const DWORD error =
        SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS ? 0 : ErrorStatus(error);
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

int MakeProtectedFolders(const std::wstring& base, const std::wstring& relative)
{
    UniqueLocalMemory descriptor;
    int status = BuildInstallersFolderSecurity(descriptor);
    if (status != 0)
        return status;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    std::wstring path = base;
    size_t from = 0;
    while (from <= relative.size()) {
        size_t end = relative.find(L'\\', from);
        if (end == std::wstring::npos)
            end = relative.size();
        path += L'\\';
        path.append(relative, from, end - from);
        from = end + 1;
        if (CreateDirectoryW(path.c_str(), &attributes))
            continue;
        const int error = LastErrorStatus();
        if (error != ERROR_ALREADY_EXISTS)
            return error;
        status = ProtectExistingFolder(path, descriptor.get());
        if (status != 0)
            return status;
    }
    return 0;
}
