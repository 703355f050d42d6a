#include "staging/package_opening.h"

#include <windows.h>

#include "framework/path_text.h"
#include "framework/run_log.h"
#include "staging/failure_report.h"

namespace {

// The machine's classes key and, within the same text, its ".msi" key.
const wchar_t kPackageExtensionKey[] = L"Software\\Classes\\.msi";
constexpr std::size_t kMachineClassesChars = 17; // "Software\\Classes\\"
static_assert(sizeof(kPackageExtensionKey) / sizeof(wchar_t) - 1 == kMachineClassesChars + 4, "\".msi\" at the end");
// Windows Installer's own action for packages: install with the full user
// interface.
const wchar_t kInstallOption[] = L"/i ";

// The default value of HKLM\Software\Classes\.msi as a plain class name.
// Returns 0 and sets `name`, ERROR_FILE_NOT_FOUND when there is none that can
// be used, or the system code.
int ReadPackageClassName(std::wstring& name)
{
    UniqueHkey extension;
    LONG status = extension.receive(
        [](HKEY* slot) { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPackageExtensionKey, 0, KEY_QUERY_VALUE, slot); });
    if (status != ERROR_SUCCESS)
        return status == ERROR_FILE_NOT_FOUND ? ERROR_FILE_NOT_FOUND : ErrorStatus(status);
    // Room for the longest name, its terminator and one unit more, so that a
    // longer value is told apart from one that fits exactly.
    wchar_t buffer[kMaxClassNameChars + 2] = {};
    DWORD bytes = sizeof(buffer);
    DWORD type = REG_NONE;
    status = RegQueryValueExW(extension.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && type != REG_SZ))
        return ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS)
        return status == ERROR_FILE_NOT_FOUND ? ERROR_FILE_NOT_FOUND : ErrorStatus(status);
    // The data need not end in a terminator: the text ends at the first NUL
    // or with the data.
    const std::size_t units = bytes / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < units && buffer[length] != L'\0')
        ++length;
    name.assign(buffer, length);
    return IsPlainClassName(name) ? 0 : ERROR_FILE_NOT_FOUND;
}

} // namespace

bool IsPlainClassName(const std::wstring& name)
{
    if (name.empty() || name.size() > kMaxClassNameChars)
        return false;
    for (const wchar_t c : name) {
        if (c == L'\\' || c == L'/' || c < L' ')
            return false;
    }
    return true;
}

int OpenMachinePackageClass(UniqueHkey& classKey)
{
    classKey.reset();
    std::wstring name;
    const int status = ReadPackageClassName(name);
    if (status != 0)
        return status;
    name.insert(0, kPackageExtensionKey, kMachineClassesChars);
    const LONG opened = classKey.receive(
        [&](HKEY* slot) { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, slot); });
    if (opened == ERROR_SUCCESS)
        return 0;
    return opened == ERROR_FILE_NOT_FOUND ? ERROR_FILE_NOT_FOUND : ErrorStatus(opened);
}

int OpenPackageWithFullInterface(const std::wstring& packagePath, ChildStart start)
{
    UniqueHkey classKey;
    int status = OpenMachinePackageClass(classKey);
    if (status == 0) {
        start.classKey = classKey.get();
        return RunProgram(packagePath, std::wstring(), start);
    }
    if (status != ERROR_FILE_NOT_FOUND)
        return status;
    LogLine(L"No machine registration for packages");
    std::wstring msiexec;
    status = WindowsInstallerPath(msiexec);
    if (status != 0)
        return status;
    std::wstring arguments = kInstallOption;
    arguments += QuotedPath(packagePath);
    return RunProgram(msiexec, arguments, start);
}
