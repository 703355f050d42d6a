// Finding the installed driver release: the driver's recorded product code
// followed to Windows' Uninstall list.
#include <gtest/gtest.h>

#include <cstdint>

#include "launcher/product_constants.h"
#include "settings/driver_keys.h"
#include "settings/installed_version.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

const wchar_t kCode[] = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

std::wstring Entry(const std::wstring& code)
{
    return std::wstring(product::kUninstallList) + L"\\" + code;
}

struct Version {
    bool found = false;
    std::int32_t major = -100, minor = -200, build = -300;
};

Version Detect(bool isWow64 = false)
{
    Version v;
    v.found = DetectInstalledVersion(isWow64, v.major, v.minor, v.build);
    return v;
}

void ExpectUntouched(const Version& v)
{
    EXPECT_FALSE(v.found);
    EXPECT_EQ(-100, v.major);
    EXPECT_EQ(-200, v.minor);
    EXPECT_EQ(-300, v.build);
}

class InstalledVersion : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_scratch.ok()); }
    ScratchRegistry m_scratch;
};

struct ChainCase {
    const wchar_t* displayVersion;
    bool isWow64;
    bool found;
    std::int32_t major, minor, build;
};

class InstalledVersionChain : public InstalledVersion, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(InstalledVersionChain, ReadsTheEntryTheDriverNames)
{
    const ChainCase& c = GetParam();
    ASSERT_TRUE(SetTextRaw(DriverSettingsKeyPath(), L"ProductCode", kCode));
    ASSERT_TRUE(SetTextRaw(Entry(kCode), L"DisplayVersion", c.displayVersion));
    // Another product's entry must not be what is read.
    ASSERT_TRUE(SetTextRaw(Entry(L"{99999999-9999-9999-9999-999999999999}"), L"DisplayVersion", L"9.9.9"));

    const Version v = Detect(c.isWow64);

    if (!c.found) {
        ExpectUntouched(v);
        return;
    }
    EXPECT_TRUE(v.found);
    EXPECT_EQ(c.major, v.major);
    EXPECT_EQ(c.minor, v.minor);
    EXPECT_EQ(c.build, v.build);
}

// The 64-bit test program has one registry view, so the flag only shows that
// the 64-bit view mask reaches the same entry.
INSTANTIATE_TEST_SUITE_P(Table, InstalledVersionChain,
                         ::testing::Values(ChainCase{L"1.0.13", false, true, 1, 0, 13},
                                           ChainCase{L"1.0.14", false, true, 1, 0, 14},
                                           ChainCase{L"1.0.13", true, true, 1, 0, 13},
                                           ChainCase{L"2.0.1", false, true, 2, 0, 1},
                                           ChainCase{L"1.0", false, false, 0, 0, 0},
                                           ChainCase{L"1.0.99999999999", false, true, 1, 0, INT32_MAX},
                                           ChainCase{L"", false, false, 0, 0, 0}));

TEST_F(InstalledVersion, CleanMachineFindsNothingAndLeavesAnEmptySettingsKey)
{
    ExpectUntouched(Detect());
    EXPECT_EQ(EmptyKey(), TakeSnapshot(DriverSettingsKeyPath()));
    EXPECT_FALSE(KeyPresent(product::kUninstallList));
}

TEST_F(InstalledVersion, UnregisteredProductCreatesNoUninstallEntry)
{
    ASSERT_TRUE(SetTextRaw(DriverSettingsKeyPath(), L"ProductCode", kCode));
    ASSERT_TRUE(SetTextRaw(Entry(L"{99999999-9999-9999-9999-999999999999}"), L"DisplayVersion", L"9.9.9"));
    const KeySnapshot before = TakeSnapshot(product::kUninstallList);

    for (bool isWow64 : {false, true})
        ExpectUntouched(Detect(isWow64));

    EXPECT_FALSE(KeyPresent(Entry(kCode)));
    EXPECT_EQ(before, TakeSnapshot(product::kUninstallList));
}

struct NotTextCase {
    const char* story;
    bool inProductCode; // else in DisplayVersion
    DWORD type;
    std::vector<std::uint8_t> data;
};

class InstalledVersionNotText : public InstalledVersion, public ::testing::WithParamInterface<NotTextCase> {};

// A value that does not read as text counts as missing, whatever its bytes.
TEST_P(InstalledVersionNotText, CountsAsMissing)
{
    const NotTextCase& c = GetParam();
    SCOPED_TRACE(c.story);
    ASSERT_TRUE(SetTextRaw(DriverSettingsKeyPath(), L"ProductCode", kCode));
    ASSERT_TRUE(SetTextRaw(Entry(kCode), L"DisplayVersion", L"1.0.13"));
    if (c.inProductCode)
        ASSERT_TRUE(SetValueRaw(DriverSettingsKeyPath(), L"ProductCode", c.type, c.data));
    else
        ASSERT_TRUE(SetValueRaw(Entry(kCode), L"DisplayVersion", c.type, c.data));

    ExpectUntouched(Detect());
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstalledVersionNotText,
    ::testing::Values(NotTextCase{"ProductCode as REG_DWORD", true, REG_DWORD, Bytes({1, 0, 0, 0})},
                      NotTextCase{"ProductCode as an Int32 record", true, REG_BINARY,
                                  Bytes({16, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0})},
                      NotTextCase{"ProductCode with a character above U+00FF", true, REG_SZ,
                                  Bytes({'{', 0, 0xAC, 0x20, '}', 0, 0, 0})},
                      NotTextCase{"DisplayVersion as REG_DWORD", false, REG_DWORD, Bytes({13, 0, 0, 0})},
                      NotTextCase{"DisplayVersion as REG_BINARY garbage", false, REG_BINARY,
                                  Bytes({'1', '.', '0', '.', '1', '3'})},
                      NotTextCase{"DisplayVersion with a character above U+00FF", false, REG_SZ,
                                  Bytes({'1', 0, '.', 0, '0', 0, '.', 0, 0xAC, 0x20, 0, 0})}),
    [](const ::testing::TestParamInfo<NotTextCase>& info) { return "Case" + std::to_string(info.index); });

// The whole chain with the Uninstall entry that Windows Installer itself
// writes: the test package installed by the real msiexec, then removed.
TEST(InstalledVersionOfRealPackage, FindsWhatMsiexecInstalled)
{
    TestMachine machine;
    RemoveDriverTraces();
    const std::wstring package = testing_support::BinDir() + L"\\orbelle-test-1.0.13.msi";
    ASSERT_TRUE(testing_support::PathExists(package));
    const auto install = testing_support::RunProcess(L"msiexec.exe /i \"" + package + L"\" /quiet", {}, 300000);
    ASSERT_TRUE(install.started);
    ASSERT_EQ(0u, install.exitCode);

    Version v = Detect();
    const RawValue code = GetValueRaw(DriverSettingsKeyPath(), L"ProductCode");

    const auto uninstall = testing_support::RunProcess(L"msiexec.exe /x \"" + package + L"\" /quiet", {}, 300000);
    EXPECT_EQ(0u, uninstall.exitCode);

    EXPECT_TRUE(v.found);
    EXPECT_EQ(1, v.major);
    EXPECT_EQ(0, v.minor);
    EXPECT_EQ(13, v.build);
    ASSERT_TRUE(code.present);
    const std::wstring productCode(reinterpret_cast<const wchar_t*>(code.data.data()));
    EXPECT_FALSE(KeyPresent(Entry(productCode))) << "the package is still registered";
    ExpectUntouched(Detect());
}

} // namespace
