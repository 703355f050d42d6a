#include "staging/prerequisites.h"

#include <windows.h>

#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/child_process.h"
#include "staging/payload.h"

namespace {

bool Carries(const wchar_t* name)
{
    return CarriesPayload(name, product::kTypeExe);
}

} // namespace

int InstallVCRedist(CInstallerLauncher& app)
{
    if (Carries(product::kResRedist32)) {
        const int result =
            RunPayloadProgram(app, product::kResRedist32, product::kFileRedist32, product::kArgsRedist32);
        if (result != 0)
            return result;
    }
    if (app.m_bWow64 && Carries(product::kResRedist64))
        return RunPayloadProgram(app, product::kResRedist64, product::kFileRedist64, product::kArgsRedist64);
    return 0;
}

int RunLegacyUninstallers(CInstallerLauncher& app)
{
    int result = 0;
    if (Carries(product::kResUninst))
        result = RunPayloadProgram(app, product::kResUninst, product::kFileUninst, L"");
    // The second uninstaller runs whatever the first returned; its result is
    // the one that counts.
    if (Carries(product::kResUninst2))
        return RunPayloadProgram(app, product::kResUninst2, product::kFileUninst2, L"");
    return result;
}
