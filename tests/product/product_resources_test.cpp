// The shipped launcher carries each payload under its name and type, with
// language 1033, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::BinDir;
using testing_support::ReadFileBytes;

struct PayloadCase {
    const wchar_t* name;
    const wchar_t* type;
    const wchar_t* sourceFile; // the build input, as Wine's Z: drive shows it
};

class ProductPayloads : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(ProductPayloads, CarriedUnderNameTypeAndLanguage1033)
{
    const std::wstring product = BinDir() + L"\\OrbelleSetup.exe";
    const UniqueModule module(LoadLibraryExW(product.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(nullptr, module.get());
    HRSRC found =
        FindResourceExW(module.get(), GetParam().type, GetParam().name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_NE(nullptr, found);
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(ReadFileBytes(GetParam().sourceFile, expected));
    if (found != nullptr) {
        const DWORD size = SizeofResource(module.get(), found);
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module.get(), found)));
        ASSERT_NE(nullptr, data);
        EXPECT_EQ(expected, std::vector<std::uint8_t>(data, data + size));
    }
}

INSTANTIATE_TEST_SUITE_P(DemoBuild, ProductPayloads,
                         ::testing::Values(PayloadCase{L"UNINST", L"EXE", ORBELLE_PAYLOAD_UNINST},
                                           PayloadCase{L"VC2005_REDIST_32", L"EXE", ORBELLE_PAYLOAD_VC2005_REDIST_32},
                                           PayloadCase{L"VC2005_REDIST_64", L"EXE", ORBELLE_PAYLOAD_VC2005_REDIST_64},
                                           PayloadCase{L"MSI32", L"MSI", ORBELLE_PAYLOAD_MSI32},
                                           PayloadCase{L"MSI64", L"MSI", ORBELLE_PAYLOAD_MSI64}));

TEST(ProductPayloads, DemoBuildLeavesOutUninst2AndCarriesNoStrings)
{
    const std::wstring product = BinDir() + L"\\OrbelleSetup.exe";
    const UniqueModule module(LoadLibraryExW(product.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(nullptr, module.get());
    EXPECT_EQ(nullptr, FindResourceW(module.get(), L"UNINST2", L"EXE"));
    wchar_t buffer[16];
    EXPECT_EQ(0, LoadStringW(module.get(), 500, buffer, 16));
    EXPECT_EQ(0, LoadStringW(module.get(), 501, buffer, 16));
}

} // namespace
