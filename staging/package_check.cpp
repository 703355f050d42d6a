#include "staging/package_check.h"

#include <cwchar>

#include "framework/system_function.h"
#include "launcher/exit_codes.h"
#include "staging/failure_report.h"

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";

// Longest final path looked at: the expected path is shorter by far, so a
// longer one cannot be it.
constexpr DWORD kFinalPathChars = 1024;

// The final path of `file`. Returns 0 and sets `path` and `known` (an empty
// path for one longer than kFinalPathChars, which matches nothing); `known`
// stays false, with 0, where the system lacks the call; else the system code.
int QueryFinalPath(HANDLE file, std::wstring& path, bool& known)
{
    using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    known = false;
    const auto finalPath = SystemFunction<GetFinalPathFn>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    if (finalPath == nullptr)
        return 0;
    wchar_t buffer[kFinalPathChars];
    const DWORD length = finalPath(file, buffer, kFinalPathChars, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
        return LastErrorStatus();
    path.assign(buffer, length < kFinalPathChars ? length : 0);
    known = true;
    return 0;
}

FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileIdentity identity;
    identity.known = true;
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    return identity;
}

wchar_t AsciiUpper(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

} // namespace

int QueryFileIdentity(HANDLE file, FileIdentity& identity)
{
    identity = FileIdentity();
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info))
        return LastErrorStatus();
    identity = IdentityFrom(info);
    return 0;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.volumeSerial == b.volumeSerial && a.indexHigh == b.indexHigh &&
           a.indexLow == b.indexLow;
}

std::wstring WithoutFinalPathPrefix(const std::wstring& path)
{
    const size_t prefix = wcslen(kLongPrefix);
    return path.compare(0, prefix, kLongPrefix) == 0 ? path.substr(prefix) : path;
}

bool SamePathIgnoringAsciiCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

bool IsPackageAsWritten(const HeldPackage& held, const FileIdentity& written, const std::wstring& expectedPath)
{
    if (!SameFile(held.identity, written) || held.links != 1)
        return false;
    if (held.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return !held.pathKnown || SamePathIgnoringAsciiCase(WithoutFinalPathPrefix(held.finalPath), expectedPath);
}

int CheckHeldPackage(HANDLE hold, const FileIdentity& written, const std::wstring& expectedPath)
{
    HeldPackage held;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(hold, &info))
        return LastErrorStatus();
    held.identity = IdentityFrom(info);
    held.links = info.nNumberOfLinks;
    held.attributes = info.dwFileAttributes;
    const int status = QueryFinalPath(hold, held.finalPath, held.pathKnown);
    if (status != 0)
        return status;
    return IsPackageAsWritten(held, written, expectedPath) ? 0 : exit_code::kPackageNotAsWritten;
}
