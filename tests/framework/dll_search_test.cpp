// The DLL search restriction, in a test program of its own: it changes the
// search path of the whole process for good.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/dll_search.h"
#include "framework/system_function.h"
#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace {

const wchar_t kPlanted[] = L"orbelle_planted.dll";

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& head)
{
    return text.size() >= head.size() && CompareStringOrdinal(text.c_str(), static_cast<int>(head.size()), head.c_str(),
                                                              static_cast<int>(head.size()), TRUE) == CSTR_EQUAL;
}

TEST(DllSearch, AfterTheRestrictionADllBesideTheProgramIsNotFoundByName)
{
    // The planted DLL lies beside this program, so the default search finds it.
    UniqueModule before(LoadLibraryW(kPlanted));
    ASSERT_NE(nullptr, before.get()) << "fixture missing beside "
                                     << testing_support::WideToUtf8(testing_support::BinDir());
    before.reset();

    ASSERT_EQ(DllSearch::kSystemFolderOnly, RestrictDllSearchPath());

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(nullptr, LoadLibraryW(kPlanted));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, LoadSystemLibrary(kPlanted));

    // System DLLs still load, and from the system folder.
    UniqueModule comctl32(LoadSystemLibrary(L"comctl32.dll"));
    ASSERT_NE(nullptr, comctl32.get());
    EXPECT_TRUE(StartsWithNoCase(ModulePath(comctl32.get()), SystemFolder() + L"\\"))
        << testing_support::WideToUtf8(ModulePath(comctl32.get()));
    comctl32.reset();
    EXPECT_TRUE(InitCommonControlsFromSystem());
}

// The run-time lookup of functions that some Windows versions lack: exports
// of the modules the process has mapped, and nothing loaded on the way.
struct LookupCase {
    const char* story;
    const wchar_t* module;
    const char* name;
    bool found;
};

class SystemFunctionLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(SystemFunctionLookup, FindsExportsOfMappedModulesOnly)
{
    const LookupCase& c = GetParam();
    ASSERT_EQ(nullptr, GetModuleHandleW(kPlanted)) << "the planted DLL is mapped before the lookup";
    EXPECT_EQ(c.found, MappedModuleFunction(c.module, c.name) != nullptr) << c.story;
    EXPECT_EQ(nullptr, GetModuleHandleW(kPlanted)) << "the lookup loaded the DLL beside the program";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemFunctionLookup,
    ::testing::Values(
        LookupCase{"kernel32's own export", L"kernel32.dll", "IsWow64Process", true},
        LookupCase{"an export of advapi32, an import of the program", L"advapi32.dll", "RegDeleteKeyExW", true},
        LookupCase{"ntdll, mapped into every process", L"ntdll.dll", "NtDeleteKey", true},
        LookupCase{"a name the module does not export", L"kernel32.dll", "OrbelleNoSuchExport", false},
        LookupCase{"a DLL beside the program that is not mapped", kPlanted, "OrbellePlantedMarker", false}));

} // namespace
