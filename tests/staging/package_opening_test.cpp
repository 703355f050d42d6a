// Opening the package through the machine's own registration, in the test
// process with HKEY_LOCAL_MACHINE redirected to a scratch key: the class is
// read from HKLM\Software\Classes, so the scratch key's registration is the
// machine's here, while HKEY_CLASSES_ROOT (which the shell would look in by
// itself) is not redirected and holds another. Per-user registrations are
// made as well; Wine does not merge them into HKEY_CLASSES_ROOT (docs/WINE.md),
// so only the redirection tells the machine's look-up from the shell's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "staging/package_opening.h"
#include "tests/support/raw_registry.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

struct NameCase {
    const char* story;
    std::wstring name;
    bool plain;
};

class ClassName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ClassName, IsTakenOnlyWhenItNamesOneKey)
{
    EXPECT_EQ(GetParam().plain, IsPlainClassName(GetParam().name)) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(Table, ClassName,
                         ::testing::Values(NameCase{"Windows Installer's", L"Msi.Package", true},
                                           NameCase{"one character", L"x", true},
                                           NameCase{"the longest key name", std::wstring(255, L'p'), true},
                                           NameCase{"longer than a key name", std::wstring(256, L'p'), false},
                                           NameCase{"empty", L"", false},
                                           NameCase{"a path below another class", L"Msi.Package\\..\\exefile", false},
                                           NameCase{"a path up and out", L"..\\..\\Software\\Attacker", false},
                                           NameCase{"a forward slash", L"Msi/Package", false},
                                           NameCase{"a control character", std::wstring(L"Msi\nPackage"), false},
                                           NameCase{"a NUL inside", std::wstring(L"Msi\0Package", 11), false},
                                           NameCase{"spaces and letters beyond ASCII", L"Orbelle Paket \u00C4", true}));

using testing_support::Bytes;
using testing_support::ReadStandinLog;
using testing_support::WideBytes;

const wchar_t kExtensionKey[] = L"Software\\Classes\\.msi";
const wchar_t kMachineClass[] = L"Orbelle.MachinePackage";

class MachineRegistration : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scratch.ok());
        for (const wchar_t* name : {L"machine_opener", L"classes_root_opener", L"user_opener"})
            ASSERT_TRUE(testing_support::CopyStandin(Opener(name)));
        ASSERT_TRUE(testing_support::WriteFileBytes(m_package, {'x'}));
    }
    std::wstring Opener(const wchar_t* name) const { return m_temp / (std::wstring(name) + L".exe"); }
    std::wstring Command(const wchar_t* name) const { return L"\"" + Opener(name) + L"\" \"%1\""; }
    // Registers the class in the scratch HKLM and names it for ".msi".
    void RegisterMachineClass()
    {
        ASSERT_TRUE(testing_support::SetTextRaw(kExtensionKey, L"", kMachineClass));
        ASSERT_TRUE(testing_support::SetTextRaw(std::wstring(L"Software\\Classes\\") + kMachineClass +
                                                    L"\\shell\\Open\\command",
                                                L"", Command(L"machine_opener")));
    }
    std::vector<testing_support::StandinRecord> Records() const { return ReadStandinLog(m_log); }

    testing_support::ScratchRegistry m_scratch;
    testing_support::TempDir m_temp;
    const std::wstring m_log = m_temp / L"children.log";
    testing_support::ScopedEnv m_logEnv{L"STANDIN_LOG", m_log};
    const std::wstring m_package = m_temp / L"ZaroInstaller.msi";
};

TEST_F(MachineRegistration, TheMachinesClassOpensThePackageNeitherTheUsersNorTheShellsOwnLookUp)
{
    RegisterMachineClass();
    testing_support::OpenActionOverride classesRoot(Command(L"classes_root_opener"));
    ASSERT_TRUE(classesRoot.ok());
    testing_support::PerUserPackageRegistration user(Command(L"user_opener"));
    ASSERT_TRUE(user.ok());
    testing_support::ScopedEnv exit(L"STANDIN_EXIT_machine_opener", L"1602");

    EXPECT_EQ(1602, OpenPackageWithFullInterface(m_package, ChildStart()));
    const auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"machine_opener.exe", records[0].program);
    EXPECT_EQ(L"\"" + m_package + L"\"", records[0].arguments);
}

TEST_F(MachineRegistration, WithoutOneTheSystemsWindowsInstallerOpensItWithItsFullInterface)
{
    testing_support::SystemMsiexecStandin msiexec;
    ASSERT_TRUE(msiexec.ok()) << "run through CTest (WINEDLLOVERRIDES, see CMakeLists.txt)";
    testing_support::OpenActionOverride classesRoot(Command(L"classes_root_opener"));
    ASSERT_TRUE(classesRoot.ok());
    testing_support::PerUserPackageRegistration user(Command(L"user_opener"));
    ASSERT_TRUE(user.ok());

    EXPECT_EQ(0, OpenPackageWithFullInterface(m_package, ChildStart()));
    const auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"msiexec.exe", records[0].program);
    EXPECT_EQ(L"/i \"" + m_package + L"\"", records[0].arguments);
}

// What the ".msi" registration may hold, and whether it names a class.
struct RegistrationCase {
    const char* story;
    bool extensionKey; // HKLM\Software\Classes\.msi exists
    DWORD type;        // of its default value; REG_NONE: no default value
    Bytes data;
    int status; // OpenMachinePackageClass's result
};

class Registration : public MachineRegistration, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(Registration, NamesAUsableClassOrNone)
{
    const RegistrationCase& c = GetParam();
    ASSERT_TRUE(testing_support::CreateKeyRaw(std::wstring(L"Software\\Classes\\") + kMachineClass));
    if (c.extensionKey) {
        ASSERT_TRUE(testing_support::CreateKeyRaw(kExtensionKey));
    }
    if (c.type != REG_NONE) {
        ASSERT_TRUE(testing_support::SetValueRaw(kExtensionKey, L"", c.type, c.data));
    }
    UniqueHkey key;
    EXPECT_EQ(c.status, OpenMachinePackageClass(key)) << c.story;
    EXPECT_EQ(c.status == 0, key.valid()) << c.story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Registration,
    ::testing::Values(
        RegistrationCase{"the class, as Windows Installer registers its own", true, REG_SZ,
                         WideBytes(kMachineClass, true), 0},
        RegistrationCase{"the class without a terminator", true, REG_SZ, WideBytes(kMachineClass, false), 0},
        RegistrationCase{"no extension key", false, REG_NONE, {}, ERROR_FILE_NOT_FOUND},
        RegistrationCase{"no default value", true, REG_NONE, {}, ERROR_FILE_NOT_FOUND},
        RegistrationCase{"not REG_SZ", true, REG_EXPAND_SZ, WideBytes(kMachineClass, true), ERROR_FILE_NOT_FOUND},
        RegistrationCase{"empty", true, REG_SZ, WideBytes(L"", true), ERROR_FILE_NOT_FOUND},
        RegistrationCase{"a path, not a name", true, REG_SZ, WideBytes(std::wstring(L"..\\") + kMachineClass, true),
                         ERROR_FILE_NOT_FOUND},
        RegistrationCase{"longer than a key name", true, REG_SZ, WideBytes(std::wstring(300, L'p'), true),
                         ERROR_FILE_NOT_FOUND},
        RegistrationCase{"a class the machine does not have", true, REG_SZ, WideBytes(L"Orbelle.Missing", true),
                         ERROR_FILE_NOT_FOUND}));

} // namespace
