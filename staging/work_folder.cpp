#include "staging/work_folder.h"

#include <shlobj.h>

#include "framework/path_text.h"
#include "framework/unique_handle.h"
#include "framework/uuid_text.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/failure_report.h"
#include "staging/folder_removal.h"
#include "staging/folder_security.h"
#include "staging/installers_folder.h"

namespace {

constexpr DWORD kPathBufferChars = 512;

// Creates the work folder under `tempPath` and stores its path in the
// application object. Returns 0 or a nonzero status (line written).
int CreateWorkFolder(CInstallerLauncher& app, const std::wstring& tempPath)
{
    int lastStatus = 0;
    for (int attempt = 0; attempt < kWorkFolderNameAttempts; ++attempt) {
        std::wstring name;
        const long nameStatus = g_workFolderNameSeam(name);
        if (nameStatus != RPC_S_OK) {
            lastStatus = ErrorStatus(static_cast<unsigned long>(nameStatus));
            continue;
        }
        const std::wstring candidate = tempPath + name;
        // Created with its protected descriptor in one step, so that no one
        // else can ever open it; a descriptor that cannot be had or applied
        // fails the attempt.
        UniqueLocalMemory descriptor;
        const int securityStatus = BuildWorkFolderSecurity(descriptor);
        if (securityStatus != 0) {
            lastStatus = securityStatus;
            continue;
        }
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
        if (!CreateDirectoryW(candidate.c_str(), &attributes)) {
            lastStatus = LastErrorStatus();
            continue;
        }
        // The children's temporary folder gets the same descriptor in its
        // own right rather than by inheritance alone.
        const std::wstring childTemp = candidate + kPathSeparator + kChildTempFolderName;
        if (!CreateDirectoryW(childTemp.c_str(), &attributes)) {
            lastStatus = LastErrorStatus();
            RemoveDirectoryW(candidate.c_str());
            continue;
        }
        app.m_strWorkFolder = candidate + kPathSeparator;
        return 0;
    }
    ReportFailure("CreateDirectory failed (%d)\n", lastStatus);
    return lastStatus;
}

// Sets `folder` to the work folder with a trailing backslash, creating it on
// the first call of the run.
int PrepareWorkFolder(CInstallerLauncher& app, std::wstring& folder)
{
    wchar_t buffer[kPathBufferChars] = {};
    const DWORD length = GetTempPathW(kPathBufferChars, buffer);
    if (length == 0 || length > kPathBufferChars) {
        const int status = LastErrorStatus();
        ReportFailure("GetTempPath failed (%d)\n", status);
        return status;
    }
    if (app.m_strWorkFolder.empty()) {
        const int status = CreateWorkFolder(app, std::wstring(buffer, length));
        if (status != 0)
            return status;
    }
    folder = app.m_strWorkFolder;
    return 0;
}

// Sets `folder` to the installers folder with a trailing backslash, creating
// it and its parents when missing.
int PrepareInstallersFolder(std::wstring& folder)
{
    wchar_t buffer[kPathBufferChars] = {};
    const HRESULT hr =
        SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr)) {
        ReportFailure("SHGetFolderPath failed (%d)\n", static_cast<int>(hr));
        return static_cast<int>(hr);
    }
    buffer[kPathBufferChars - 1] = L'\0';
    std::wstring relative = product::kInstallersFolder;
    relative += kPathSeparator;
    relative += product::kProductShortName;
    // Every level is made (or brought) to the protected state, so that no
    // standard user who created one first can reach the package. The line
    // keeps the name it always had: it reports the installers folder.
    const int result = MakeProtectedFolders(buffer, relative);
    if (result != 0) {
        ReportFailure("SHCreateDirectoryEx failed (%d)\n", result);
        return result;
    }
    folder = buffer;
    folder += kPathSeparator;
    folder += relative;
    folder += kPathSeparator;
    return 0;
}

} // namespace

Seam<WorkFolderNameSource> g_workFolderNameSeam(&NewUuidText);

int CreatePayloadFile(CInstallerLauncher& app, const wchar_t* fileName, bool temporary, std::wstring& outPath,
                      UniqueFileHandle& outFile)
{
    const int status = temporary ? PrepareWorkFolder(app, outPath) : PrepareInstallersFolder(outPath);
    if (status != 0)
        return status;
    outPath += fileName;
    // An existing file is never reused: it could carry anyone's security, or
    // be a link. It is removed, and a new one is created that takes the
    // folder's protected security; a file that appears in between fails.
    const bool removed = DeleteFileW(outPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    UniqueFileHandle file;
    if (removed)
        file.reset(CreateFileW(outPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const int error = LastErrorStatus();
        ReportFailure("CreateFile failed (%d)\n", error);
        return error;
    }
    outFile = std::move(file);
    return 0;
}

std::wstring ChildTempFolder(const CInstallerLauncher& app)
{
    if (app.m_strWorkFolder.empty())
        return std::wstring();
    return app.m_strWorkFolder + kChildTempFolderName;
}

void DeleteWorkFolder(CInstallerLauncher& app)
{
    // An empty path must not reach the removal: it would name the current
    // directory's contents.
    if (app.m_strWorkFolder.empty())
        return;
    const std::wstring folder = app.m_strWorkFolder.substr(0, app.m_strWorkFolder.size() - 1);
    for (int pass = 1; !RemoveFolderTree(folder) && pass < kWorkFolderRemovalPasses; ++pass)
        Sleep(kWorkFolderRemovalPauseMs);
    app.m_strWorkFolder.clear();
}
