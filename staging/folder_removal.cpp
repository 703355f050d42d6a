#include "staging/folder_removal.h"

#include <windows.h>

#include <cwchar>

#include "framework/path_text.h"
#include "framework/unique_handle.h"

namespace {

// The search pattern that FindFirstFileW matches every entry of a folder with.
constexpr wchar_t kEveryEntry[] = L"*.*";

// Number of hard links of the file `path` itself (a reparse point is not
// followed); 0 when it cannot be read.
DWORD LinkCount(const std::wstring& path)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return 0;
    return info.nNumberOfLinks;
}

// Clears the read-only attribute of the entry `path` (not a reparse point)
// with the attributes `attributes` when it is set and the entry's attributes
// are its own: a folder, or a file with a single link.
void ClearReadOnly(const std::wstring& path, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && LinkCount(path) != 1)
        return;
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool RemoveEntry(const std::wstring& path, DWORD attributes, int depthLeft);

// Removes everything inside `folder`; true when all of it went.
bool RemoveContents(const std::wstring& folder, int depthLeft)
{
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW((folder + kPathSeparator + kEveryEntry).c_str(), &entry));
    if (!search)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool allGone = true;
    do {
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)
            continue;
        if (!RemoveEntry(folder + kPathSeparator + entry.cFileName, entry.dwFileAttributes, depthLeft))
            allGone = false;
    } while (FindNextFileW(search.get(), &entry));
    return allGone;
}

// Removes the entry `path` whose attributes (as the folder listing gave them)
// are `attributes`. A folder's contents are removed first when `depthLeft`
// allows it.
bool RemoveEntry(const std::wstring& path, DWORD attributes, int depthLeft)
{
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link is removed as a link: neither listed nor changed.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return folder ? RemoveDirectoryW(path.c_str()) != FALSE : DeleteFileW(path.c_str()) != FALSE;
    if (folder) {
        if (depthLeft <= 0 || !RemoveContents(path, depthLeft - 1))
            return false;
        ClearReadOnly(path, attributes);
        return RemoveDirectoryW(path.c_str()) != FALSE;
    }
    ClearReadOnly(path, attributes);
    return DeleteFileW(path.c_str()) != FALSE;
}

} // namespace

bool RemoveFolderTree(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    return RemoveEntry(folder, attributes, kFolderRemovalDepthLimit);
}
