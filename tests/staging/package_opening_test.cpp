// Opening the package through the machine's own registration: which class
// names are taken from the ".msi" registration.
#include <gtest/gtest.h>

#include <string>

#include "staging/package_opening.h"

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

} // namespace
