#include "staging/package_install.h"

#include "framework/path_text.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/child_process.h"
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

void NothingMore(const std::wstring&) {}

} // namespace

Seam<PackageWrittenHook> g_packageWrittenSeam(&NothingMore);

int InstallProductPackage(CInstallerLauncher& app)
{
    const wchar_t* resource = app.m_bWow64 ? product::kResMsi64 : product::kResMsi32;
    HeldPayload package;
    FileIdentity written;
    int status = ExtractPayload(package.path, app, resource, product::kTypeMsi, product::kFilePackage, false, &written);
    if (status != 0)
        return status;
    g_packageWrittenSeam(package.path);
    // Held until Windows Installer has finished with it.
    status = HoldWrittenPayload(package, resource, &written);
    if (status != 0)
        return status;
    if (app.m_strMsiArgs.empty())
        return OpenPackageWithFullInterface(package.path, ChildStartFor(app));

    ReplacePackagePathToken(app.m_strMsiArgs, QuotedPath(package.path));
    std::wstring msiexec;
    status = WindowsInstallerPath(msiexec);
    if (status != 0)
        return status;
    return RunProgram(msiexec, app.m_strMsiArgs, ChildStartFor(app));
}
