// The digest check of written payloads: finding a payload's line in the
// carried digest text, hashing a held file from its start, and the check that
// refuses a file whose bytes are not the payload carried.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "staging/payload.h"
#include "staging/payload_digest.h"
#include "staging/work_folder.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const std::string kDigestOfZ = "bbeebd879e1dff6918546dc0c179fdde505f2a21591c9a9c96e36b054ec5af83"; // "Z"
const std::string kDigestOfAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct LookupCase {
    const char* story;
    std::string text;
    const wchar_t* name;
    std::string expected; // "" when no digest is found
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.story;
}

class Lookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, FindsExactlyTheNamedPayloadsLine)
{
    const LookupCase& c = GetParam();
    std::string hex = "stale";
    const bool found = FindCarriedDigest(c.text.data(), c.text.size(), c.name, hex);
    EXPECT_EQ(!c.expected.empty(), found);
    EXPECT_EQ(c.expected, hex);
}

const std::string kTwo = "UNINST2 " + kDigestOfAbc + "\nUNINST " + kDigestOfZ + "\n";

INSTANTIATE_TEST_SUITE_P(
    Table, Lookup,
    ::testing::Values(LookupCase{"the first of two lines", kTwo, L"UNINST2", kDigestOfAbc},
                      // "UNINST" is the start of "UNINST2": only its own line counts.
                      LookupCase{"a name that starts another's", kTwo, L"UNINST", kDigestOfZ},
                      LookupCase{"a name no line has", kTwo, L"MSI32", ""},
                      LookupCase{"a name that is only a prefix of the line's", kTwo, L"UNIN", ""},
                      LookupCase{"the last line without its end", "MSI32 " + kDigestOfZ, L"MSI32", kDigestOfZ},
                      LookupCase{"a digest one digit short", "MSI32 " + kDigestOfZ.substr(1) + "\n", L"MSI32", ""},
                      LookupCase{"a digest with a character more", "MSI32 " + kDigestOfZ + "0\n", L"MSI32", ""},
                      LookupCase{"upper-case digits",
                                 "MSI32 BBEEBD879E1DFF6918546DC0C179FDDE505F2A21591C9A9C96E36B054EC5AF83\n", L"MSI32",
                                 ""},
                      LookupCase{"a line that ends in CR LF", "MSI32 " + kDigestOfZ + "\r\n", L"MSI32", ""},
                      LookupCase{"two spaces", "MSI32  " + kDigestOfZ + "\n", L"MSI32", ""},
                      LookupCase{"an empty text", "", L"MSI32", ""}));

// Opens `path` as the launcher holds a payload.
UniqueFileHandle OpenHeld(const std::wstring& path)
{
    UniqueFileHandle file;
    EXPECT_EQ(0, HoldPayloadFile(path, file));
    return file;
}

struct HashCase {
    const char* story;
    std::vector<std::uint8_t> bytes;
    std::string digest; // known SHA-256 of the bytes
};

void PrintTo(const HashCase& c, std::ostream* os)
{
    *os << c.story;
}

class Hash : public ::testing::TestWithParam<HashCase> {
  protected:
    TempDir m_temp;
};

TEST_P(Hash, GivesTheKnownDigestOfTheWholeFile)
{
    const HashCase& c = GetParam();
    const std::wstring path = m_temp / L"file.bin";
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    UniqueFileHandle file = OpenHeld(path);
    ASSERT_TRUE(file);
    // A reader before may have left the position anywhere: the hash still
    // covers the file from its first byte.
    LARGE_INTEGER end = {};
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_END));
    std::string hex;
    unsigned long long size = 1;
    ASSERT_EQ(0, HashFile(file.get(), hex, size));
    EXPECT_EQ(c.digest, hex);
    EXPECT_EQ(c.bytes.size(), size);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Hash,
    ::testing::Values(HashCase{"empty", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                      HashCase{"abc", {'a', 'b', 'c'}, kDigestOfAbc},
                      // One byte past the 1 MB read: the last read's byte counts too.
                      HashCase{"1 MB and one byte", std::vector<std::uint8_t>((1u << 20) + 1, 'a'),
                               "4a3f0c0c213adea174f9a3d4c13177315b588bdb2e9c1012d3d0bf0453ca0f6a"}));

TEST(HashFile, AHandleThatCannotReadFailsWithTheSystemsCode)
{
    TempDir temp;
    const std::wstring path = temp / L"file.bin";
    ASSERT_TRUE(WriteFileBytes(path, {'Z'}));
    UniqueFileHandle writeOnly(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writeOnly);
    std::string hex = "stale";
    unsigned long long size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, HashFile(writeOnly.get(), hex, size));
    EXPECT_EQ("", hex);
}

// This program carries ONE_BYTE ("Z") with its digest, as a launcher does.
class Check : public ::testing::Test {
  protected:
    TempDir m_temp;
    ScopedEnv m_tmp{L"TMP", m_temp.path()};
    CInstallerLauncher m_app;
};

TEST_F(Check, TheWrittenPayloadIsTheOneCarried)
{
    HeldPayload held;
    ASSERT_EQ(0, ExtractHeldPayload(held, m_app, L"ONE_BYTE", L"EXE", L"one.bin", true));
    EXPECT_TRUE(held.file);
    EXPECT_EQ(0, CheckPayloadDigest(L"ONE_BYTE", held.file.get()));
    DeleteWorkFolder(m_app);
}

struct RefusalCase {
    const char* story;
    const wchar_t* name;
    std::vector<std::uint8_t> bytes;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.story;
}

class Refusal : public ::testing::TestWithParam<RefusalCase> {
  protected:
    TempDir m_temp;
};

TEST_P(Refusal, AFileThatIsNotTheCarriedPayloadIsRefused)
{
    const RefusalCase& c = GetParam();
    const std::wstring path = m_temp / L"file.bin";
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    UniqueFileHandle file = OpenHeld(path);
    ASSERT_TRUE(file);
    testing::internal::CaptureStdout();
    const int status = CheckPayloadDigest(c.name, file.get());
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(exit_code::kPayloadNotAsCarried, status);
    EXPECT_EQ("Payload check failed (323)\n", output);
}

INSTANTIATE_TEST_SUITE_P(Table, Refusal,
                         ::testing::Values(RefusalCase{"one byte changed", L"ONE_BYTE", {'Y'}},
                                           RefusalCase{"one byte added", L"ONE_BYTE", {'Z', 'Z'}},
                                           RefusalCase{"the file emptied", L"ONE_BYTE", {}},
                                           RefusalCase{"a payload no digest is carried for", L"NOT_CARRIED", {'Z'}}));

} // namespace
