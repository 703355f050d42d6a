#include "staging/package_install.h"

#include "framework/unique_handle.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/child_process.h"
#include "staging/failure_report.h"
#include "staging/payload.h"

void ReplacePackagePathToken(std::wstring& args, const std::wstring& quotedPath)
{
    const std::wstring token = product::kPackagePathToken;
    for (size_t at = args.find(token); at != std::wstring::npos; at = args.find(token, at + quotedPath.size()))
        args.replace(at, token.size(), quotedPath);
}

int InstallProductPackage(CInstallerLauncher& app)
{
    const wchar_t* resource = app.m_bWow64 ? product::kResMsi64 : product::kResMsi32;
    std::wstring packagePath;
    int status = ExtractPayload(packagePath, app, resource, product::kTypeMsi, product::kFilePackage, false);
    if (status != 0)
        return status;
    // The folder and the new file let no one but administrators and SYSTEM
    // write, so nothing can change the file between its closing and this.
    const UniqueFileHandle hold(CreateFileW(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold) {
        status = LastErrorStatus();
        ReportFailure("CreateFile failed (%d)\n", status);
        return status;
    }
    if (app.m_strMsiArgs.empty())
        return RunProgram(packagePath, app.m_strMsiArgs, ChildStartFor(app));

    ReplacePackagePathToken(app.m_strMsiArgs, product::kPathQuote + packagePath + product::kPathQuote);
    std::wstring msiexec;
    status = WindowsInstallerPath(msiexec);
    if (status != 0)
        return status;
    return RunProgram(msiexec, app.m_strMsiArgs, ChildStartFor(app));
}
