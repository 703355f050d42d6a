#include "staging/package_install.h"

#include "framework/unique_handle.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/child_process.h"
#include "staging/failure_report.h"
#include "staging/package_check.h"
#include "staging/package_opening.h"
#include "staging/payload.h"

void ReplacePackagePathToken(std::wstring& args, const std::wstring& quotedPath)
{
    const std::wstring token = product::kPackagePathToken;
    for (size_t at = args.find(token); at != std::wstring::npos; at = args.find(token, at + quotedPath.size()))
        args.replace(at, token.size(), quotedPath);
}

namespace {

PackageWrittenHook g_writtenHook = nullptr;

} // namespace

PackageWrittenHook SetPackageWrittenHook(PackageWrittenHook hook)
{
    const PackageWrittenHook previous = g_writtenHook;
    g_writtenHook = hook;
    return previous;
}

int InstallProductPackage(CInstallerLauncher& app)
{
    const wchar_t* resource = app.m_bWow64 ? product::kResMsi64 : product::kResMsi32;
    std::wstring packagePath;
    FileIdentity written;
    int status = ExtractPayload(packagePath, app, resource, product::kTypeMsi, product::kFilePackage, false, &written);
    if (status != 0)
        return status;
    if (g_writtenHook)
        g_writtenHook(packagePath);
    // The folder and the new file let no one but administrators and SYSTEM
    // write, so nothing can change the file between its closing and this; the
    // check below makes sure that the name still means that file.
    UniqueFileHandle hold;
    status = HoldPayloadFile(packagePath, hold);
    if (status != 0)
        return status;
    status = CheckHeldPackage(hold.get(), written, packagePath);
    if (status != 0) {
        ReportFailure("Package check failed (%d)\n", status);
        return status;
    }
    if (app.m_strMsiArgs.empty())
        return OpenPackageWithFullInterface(packagePath, ChildStartFor(app));

    ReplacePackagePathToken(app.m_strMsiArgs, product::kPathQuote + packagePath + product::kPathQuote);
    std::wstring msiexec;
    status = WindowsInstallerPath(msiexec);
    if (status != 0)
        return status;
    return RunProgram(msiexec, app.m_strMsiArgs, ChildStartFor(app));
}
