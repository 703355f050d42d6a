// The DLL search restriction, in a test program of its own: it changes the
// search path of the whole process for good.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/dll_search.h"
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

} // namespace
