#include "prepare/previous_products.h"

#include "framework/path_text.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "registry/registry_key.h"
#include "staging/child_process.h"

PreviousProductList ProductPreviousProducts()
{
    return {product::kPreviousProducts32, product::kPreviousProducts64, product::kPreviousProductCount};
}

int RemovePreviousProducts(const CInstallerLauncher& app)
{
    return RemovePreviousProducts(app.m_bWow64, ProductPreviousProducts(), ChildStartFor(app));
}

int RemovePreviousProducts(bool wow64, const PreviousProductList& list, const ChildStart& start)
{
    if (list.count < 1)
        return 0;
    int failures = 0;
    for (int i = 0; i < list.count; ++i) {
        const wchar_t* entry = wow64 ? list.codes64[i] : list.codes32[i];
        if (entry == nullptr)
            continue;
        const std::wstring code = entry;
        if (!KeyExists(std::wstring(product::kUninstallList) + kPathSeparator + code, wow64))
            continue;
        // Windows Installer from the system folder, never a program of that
        // name that happens to sit beside the launcher.
        std::wstring msiexec;
        if (WindowsInstallerPath(msiexec) != 0 || RunProgram(msiexec, product::kRemovalArgsPrefix + code, start) != 0)
            ++failures;
    }
    return failures;
}
