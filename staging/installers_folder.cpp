#include "staging/installers_folder.h"

#include <aclapi.h>

#include "framework/run_log.h"
#include "framework/unique_handle.h"
#include "framework/uuid_text.h"
#include "launcher/exit_codes.h"
#include "staging/failure_report.h"
#include "staging/folder_security.h"

namespace {

const wchar_t kAsideInfix[] = L".moved-";

OwnerKind SystemReportedOwner(HANDLE entry, const std::wstring&)
{
    OwnerKind kind = OwnerKind::Unknown;
    QueryOwnerKind(entry, SE_FILE_OBJECT, kind);
    return kind;
}

// Opens the entry at `path` itself (a reparse point is not followed) for
// reading its attributes and owner, and, when `tryWrite` and they are
// granted, with rights to change its owner and DACL (`writable` says which).
UniqueFileHandle OpenEntry(const std::wstring& path, bool tryWrite, bool& writable)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD read = READ_CONTROL | FILE_READ_ATTRIBUTES;
    writable = tryWrite;
    UniqueFileHandle entry;
    if (tryWrite)
        entry.reset(
            CreateFileW(path.c_str(), read | WRITE_DAC | WRITE_OWNER, share, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!tryWrite || (!entry && GetLastError() == ERROR_ACCESS_DENIED)) {
        // A level left as it is needs no more, and TrustedInstaller's
        // folders let administrators read only.
        writable = false;
        entry.reset(CreateFileW(path.c_str(), read, share, nullptr, OPEN_EXISTING, flags, nullptr));
    }
    return entry;
}

// Whether the system records owners below `base`: the common
// application-data folder belongs to SYSTEM (or Administrators) wherever it
// does, and no standard user can change that.
bool OwnersRecorded(const std::wstring& base)
{
    bool writable = false;
    const UniqueFileHandle folder = OpenEntry(base, false, writable);
    return folder && IsAdministrativeOwner(g_levelOwnerSeam(folder.get(), base));
}

// Gives the level behind `level` the descriptor's owner and DACL.
int Protect(HANDLE level, PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return LastErrorStatus();
    const DWORD error =
        SetSecurityInfo(level, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS ? 0 : ErrorStatus(error);
}

// Renames the entry at `path` to a new name beside it and creates the level
// anew with `attributes`.
int MoveAsideAndCreate(const std::wstring& path, SECURITY_ATTRIBUTES& attributes)
{
    std::wstring text;
    const long made = g_asideTextSeam(text);
    if (made != 0)
        return ErrorStatus(static_cast<unsigned long>(made));
    const std::wstring aside = path + kAsideInfix + text;
    if (!MoveFileExW(path.c_str(), aside.c_str(), 0))
        return LastErrorStatus();
    LogLine(L"Moved aside: " + aside);
    return CreateDirectoryW(path.c_str(), &attributes) ? 0 : LastErrorStatus();
}

// Deals with the existing entry at the level `path`.
int PrepareExistingLevel(const std::wstring& path, LevelRole role, bool ownersRecorded, SECURITY_ATTRIBUTES& attributes)
{
    bool writable = false;
    UniqueFileHandle entry = OpenEntry(path, true, writable);
    if (!entry)
        return LastErrorStatus();
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(entry.get(), &info))
        return LastErrorStatus();
    ExistingLevel level;
    level.role = role;
    level.owner = g_levelOwnerSeam(entry.get(), path);
    level.ownersRecorded = ownersRecorded;
    level.attributes = info.dwFileAttributes;
    switch (DecideExistingLevel(level)) {
    case LevelAction::LeaveAsIs:
        return 0;
    case LevelAction::Protect:
        return writable ? Protect(entry.get(), attributes.lpSecurityDescriptor) : ERROR_ACCESS_DENIED;
    case LevelAction::RefuseReparsePoint:
        return exit_code::kReparsePointRefused;
    case LevelAction::RefuseNotFolder:
        return ERROR_DIRECTORY;
    case LevelAction::MoveAside:
    default:
        entry.reset();
        return MoveAsideAndCreate(path, attributes);
    }
}

} // namespace

LevelAction DecideExistingLevel(const ExistingLevel& level)
{
    if (level.ownersRecorded && !IsAdministrativeOwner(level.owner))
        return LevelAction::MoveAside;
    if (level.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return LevelAction::RefuseReparsePoint;
    if (!(level.attributes & FILE_ATTRIBUTE_DIRECTORY))
        return LevelAction::RefuseNotFolder;
    return level.role == LevelRole::Shared ? LevelAction::LeaveAsIs : LevelAction::Protect;
}

int MakeProtectedFolders(const std::wstring& base, const std::wstring& relative)
{
    UniqueLocalMemory descriptor;
    const int status = BuildInstallersFolderSecurity(descriptor);
    if (status != 0)
        return status;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    const bool ownersRecorded = OwnersRecorded(base);
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
        const LevelRole role = end == relative.size() ? LevelRole::Product : LevelRole::Shared;
        const int prepared = PrepareExistingLevel(path, role, ownersRecorded, attributes);
        if (prepared != 0)
            return prepared;
    }
    return 0;
}

Seam<EntryOwnerQuery> g_levelOwnerSeam(&SystemReportedOwner);
Seam<AsideTextSource> g_asideTextSeam(&NewUuidText);
