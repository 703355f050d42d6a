#include "tests/support/test_machine.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cwchar>

#include "framework/unique_handle.h"
#include "launcher/product_constants.h"
#include "tests/support/value_records.h"

namespace testing_support {

namespace {

const wchar_t kOpenCommandKey[] = L"Msi.Package\\shell\\Open\\command";

UniqueHkey OpenCommandKey()
{
    UniqueHkey key;
    key.receive([](HKEY* slot) {
        return RegCreateKeyExW(HKEY_CLASSES_ROOT, kOpenCommandKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, slot,
                               nullptr);
    });
    return key;
}

} // namespace

std::wstring DeviceInstancesKeyPath()
{
    return std::wstring(product::kDriverRoot) + L"\\" + product::kDriverGuid + L"\\" + kDeviceKeyName + L"\\Instances";
}

std::wstring MakerFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return std::wstring(buffer) + L"\\ZARO";
}

std::wstring InstalledPackagePath()
{
    return MakerFolder() + L"\\Installers\\Orbelle\\ZaroInstaller.msi";
}

bool RemoveDriverTraces()
{
    // Both views, whatever the bitness of the test program: the 32-bit
    // launcher writes the driver's keys into the 32-bit view.
    const bool keys64 = DeleteKeyTree(kMakerKey, KEY_WOW64_64KEY);
    const bool keys32 = DeleteKeyTree(kMakerKey, KEY_WOW64_32KEY);
    const bool folder = RemoveTree(MakerFolder());
    return keys64 && keys32 && folder;
}

int RunMsiexec(const std::wstring& arguments)
{
    // Generous: a 32-bit msiexec takes minutes to start on a busy machine
    // that emulates 32-bit code.
    const ProcessResult result = RunProcess(L"msiexec.exe " + arguments, {}, 1200000);
    return result.started && !result.timedOut ? static_cast<int>(result.exitCode) : -1;
}

TestMachine::~TestMachine()
{
    for (const auto& package : m_packages)
        RunMsiexec(L"/x \"" + package + L"\" /quiet");
    RemoveDriverTraces();
}

bool TestMachine::Install(const std::wstring& package)
{
    Adopt(package);
    return RunMsiexec(L"/i \"" + package + L"\" /quiet") == 0;
}

void TestMachine::Adopt(const std::wstring& package)
{
    m_packages.push_back(package);
}

SystemMsiexecStandin::SystemMsiexecStandin() : m_backup(m_dir / L"msiexec.exe.original")
{
    wchar_t overrides[256] = {};
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (std::wcsstr(overrides, L"msiexec.exe=n") == nullptr)
        return;
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    m_msiexec = std::wstring(system) + L"\\msiexec.exe";
    if (!CopyFileW(m_msiexec.c_str(), m_backup.c_str(), TRUE))
        return;
    m_ok = CopyStandin(m_msiexec);
}

SystemMsiexecStandin::~SystemMsiexecStandin()
{
    if (PathExists(m_backup)) {
        EXPECT_TRUE(CopyFileW(m_backup.c_str(), m_msiexec.c_str(), FALSE)) << "msiexec.exe not restored";
    }
}

OpenActionOverride::OpenActionOverride(const std::wstring& command)
{
    const UniqueHkey key = OpenCommandKey();
    if (!key)
        return;
    m_hadOld = ReadValueExact(key.get(), L"", m_oldType, m_old) == ERROR_SUCCESS;
    m_ok = WriteValueExact(key.get(), L"", REG_SZ, WideBytes(command, true)) == ERROR_SUCCESS;
}

OpenActionOverride::~OpenActionOverride()
{
    if (!m_ok)
        return; // nothing was changed
    const UniqueHkey key = OpenCommandKey();
    const bool restored = key && (m_hadOld ? WriteValueExact(key.get(), L"", m_oldType, m_old) == ERROR_SUCCESS
                                           : RegDeleteValueW(key.get(), nullptr) == ERROR_SUCCESS);
    EXPECT_TRUE(restored) << "the shell's open action for packages was not restored";
}

namespace {

// The keys below HKCU\Software\Classes that PerUserPackageRegistration owns.
const wchar_t* const kPerUserClassKeys[] = {L"Software\\Classes\\Msi.Package", L"Software\\Classes\\.msi",
                                            L"Software\\Classes\\Orbelle.UserPackage"};

bool UserKeyPresent(const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool SetUserDefault(const std::wstring& path, const std::wstring& text)
{
    UniqueHkey key;
    if (key.receive([&](HKEY* slot) {
            return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, slot,
                                   nullptr);
        }) != ERROR_SUCCESS)
        return false;
    return WriteValueExact(key.get(), L"", REG_SZ, WideBytes(text, true)) == ERROR_SUCCESS;
}

} // namespace

PerUserPackageRegistration::PerUserPackageRegistration(const std::wstring& command)
{
    for (const wchar_t* path : kPerUserClassKeys) {
        if (UserKeyPresent(path))
            return;
    }
    m_written = true;
    m_ok = SetUserDefault(L"Software\\Classes\\Msi.Package\\shell\\Open\\command", command) &&
           SetUserDefault(L"Software\\Classes\\.msi", L"Orbelle.UserPackage") &&
           SetUserDefault(L"Software\\Classes\\Orbelle.UserPackage\\shell\\open\\command", command);
}

PerUserPackageRegistration::~PerUserPackageRegistration()
{
    if (!m_written)
        return;
    for (const wchar_t* path : kPerUserClassKeys) {
        RegDeleteTreeW(HKEY_CURRENT_USER, path);
        RegDeleteKeyW(HKEY_CURRENT_USER, path);
        EXPECT_FALSE(UserKeyPresent(path)) << "a per-user registration was left behind";
    }
}

bool PlantDeviceInstances(const std::wstring& instancesKey)
{
    for (const wchar_t* name : kPlantedInstanceNames) {
        const std::wstring instance = instancesKey + L"\\" + name;
        if (!SetValueRaw(instance, L"Initialized", REG_BINARY, kBoolTrueRecord) ||
            !SetValueRaw(instance + L"\\Attached", L"", REG_BINARY, kBoolTrueRecord) ||
            !SetTextRaw(instance, L"FriendlyName", L"Orbelle USB"))
            return false;
    }
    return true;
}

} // namespace testing_support
