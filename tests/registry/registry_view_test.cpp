// The registry views, for real, in the 32-bit build. Under WOW64 there are
// two and the default one is the 32-bit view; on 32-bit Windows there is one,
// which every view flag names. Each fixture skips on the other system.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/wow64_query.h"
#include "registry/registry_key.h"
#include "registry/registry_tree.h"
#include "tests/support/raw_registry.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::DeleteKeyTree;
using testing_support::GetTextRaw;
using testing_support::KeyPresent;
using testing_support::SetTextRaw;

bool UnderWow64()
{
    BOOL wow64 = FALSE;
    return QueryWow64(&wow64) && wow64;
}

// Writes the text value "view" through the layer under test, in the view that
// the flag names.
void WriteView(const std::wstring& path, bool view64, const char* text)
{
    RegistryKey key(LocalMachine, path, view64);
    ASSERT_GE(key.Open(false), 0);
    KV::Variant value;
    ASSERT_TRUE(value.SetText(text));
    ASSERT_GE(key.WriteValue(L"view", value), 0);
}

// Reads the value "view" back through the layer under test; empty when absent.
std::string ReadView(const std::wstring& path, bool view64)
{
    RegistryKey key(LocalMachine, path, view64);
    KV::Variant value;
    if (key.Open(true) < 0 || key.ReadValue(L"view", value) < 0 || value.GetText() == nullptr)
        return {};
    return value.GetText();
}

// A key of the test's own below HKLM\Software, named anew for each test that
// is not skipped (m_name stays empty for one that is).
class OwnSoftwareKey : public ::testing::Test {
  protected:
    void NameKey()
    {
        m_name = L"OrbelleViewTest-" + testing_support::NewUuidText();
        m_path = L"Software\\" + m_name;
    }
    std::wstring m_name;
    std::wstring m_path;
};

class RegistryViews : public OwnSoftwareKey {
  protected:
    void SetUp() override
    {
        if (!UnderWow64())
            GTEST_SKIP() << "both registry views are one outside WOW64";
        NameKey();
    }
    void TearDown() override
    {
        if (m_name.empty())
            return;
        DeleteKeyTree(m_path, KEY_WOW64_32KEY);
        DeleteKeyTree(m_path, KEY_WOW64_64KEY);
        EXPECT_FALSE(KeyPresent(m_path, KEY_WOW64_32KEY));
        EXPECT_FALSE(KeyPresent(m_path, KEY_WOW64_64KEY));
    }
};

TEST_F(RegistryViews, View64OnAndOffResolveToDifferentKeys)
{
    WriteView(m_path, true, "sixty-four");
    WriteView(m_path, false, "thirty-two");
    EXPECT_EQ(L"sixty-four", GetTextRaw(m_path, L"view", KEY_WOW64_64KEY));
    EXPECT_EQ(L"thirty-two", GetTextRaw(m_path, L"view", KEY_WOW64_32KEY));
    EXPECT_EQ("sixty-four", ReadView(m_path, true));
}

TEST_F(RegistryViews, KeyExistsOnlyInTheViewThatHoldsTheKey)
{
    ASSERT_TRUE(SetTextRaw(m_path, L"view", L"64", KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(m_path, true));
    EXPECT_FALSE(KeyExists(m_path, false));
}

TEST_F(RegistryViews, DeleteTreeRemovesOnlyTheKeyOfItsOwnView)
{
    const std::wstring child = m_path + L"\\Doomed";
    ASSERT_TRUE(SetTextRaw(child + L"\\Deeper", L"view", L"64", KEY_WOW64_64KEY));
    ASSERT_TRUE(SetTextRaw(child + L"\\Deeper", L"view", L"32", KEY_WOW64_32KEY));

    RegistryKey parent64(LocalMachine, m_path, true);
    ASSERT_GE(parent64.Open(false), 0);
    EXPECT_EQ(S_OK, parent64.DeleteTree(L"Doomed"));
    EXPECT_FALSE(KeyPresent(child, KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyPresent(child + L"\\Deeper", KEY_WOW64_32KEY));

    RegistryKey parent32(LocalMachine, m_path, false);
    ASSERT_GE(parent32.Open(false), 0);
    EXPECT_EQ(S_OK, parent32.DeleteTree(L"Doomed"));
    EXPECT_FALSE(KeyPresent(child, KEY_WOW64_32KEY));
}

TEST_F(RegistryViews, CopyTreeToWritesIntoTheDefaultViewWhateverTheSourceView)
{
    ASSERT_TRUE(SetTextRaw(m_path + L"\\Source\\Sub", L"view", L"from 64", KEY_WOW64_64KEY));
    RegistryKey source(LocalMachine, m_path + L"\\Source", true);
    ASSERT_GE(source.Open(false), 0);
    EXPECT_EQ(S_OK, CopyTreeTo(source, m_path + L"\\Copy"));
    EXPECT_EQ(L"from 64", GetTextRaw(m_path + L"\\Copy\\Sub", L"view", KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyPresent(m_path + L"\\Copy", KEY_WOW64_64KEY));
}

// Records each RegDeleteKeyExW call and performs it for real.
std::vector<std::pair<std::wstring, REGSAM>> g_deletes;

LONG WINAPI RecordingDeleteKeyEx(HKEY parent, LPCWSTR name, REGSAM access, DWORD reserved)
{
    g_deletes.emplace_back(name, access);
    return RegDeleteKeyExW(parent, name, access, reserved);
}

DeleteKeyExFn Recording()
{
    return &RecordingDeleteKeyEx;
}

// 32-bit Windows: the launcher's driver keys (flag clear) and its look at the
// Uninstall list (flag set only under WOW64) meet in the one view, whatever a
// caller asks for.
class OneRegistryView : public OwnSoftwareKey {
  protected:
    void SetUp() override
    {
        if (UnderWow64())
            GTEST_SKIP() << "a process under WOW64 has two registry views";
        NameKey();
    }
    void TearDown() override
    {
        if (m_name.empty())
            return;
        DeleteKeyTree(m_path);
        EXPECT_FALSE(KeyPresent(m_path, 0));
        // Nothing was redirected: there is no key to redirect into.
        EXPECT_FALSE(KeyPresent(L"Software\\WOW6432Node", 0));
    }
};

TEST_F(OneRegistryView, View64OnAndOffReachTheSameKey)
{
    WriteView(m_path, true, "sixty-four");
    EXPECT_EQ(L"sixty-four", GetTextRaw(m_path, L"view", 0));
    EXPECT_EQ(L"sixty-four", GetTextRaw(m_path, L"view", KEY_WOW64_32KEY));
    EXPECT_EQ("sixty-four", ReadView(m_path, false));
    WriteView(m_path, false, "thirty-two");
    EXPECT_EQ("thirty-two", ReadView(m_path, true));
}

TEST_F(OneRegistryView, KeyExistsInBothViewsOfTheOnlyOne)
{
    ASSERT_TRUE(SetTextRaw(m_path, L"view", L"one", 0));
    EXPECT_TRUE(KeyExists(m_path, true));
    EXPECT_TRUE(KeyExists(m_path, false));
}

// Not under WOW64, DeleteTree removes each key with RegDeleteKeyW, so the view
// flag plays no part and RegDeleteKeyExW is never called.
TEST_F(OneRegistryView, DeleteTreeWithView64DeletesTheOnlyKey)
{
    const std::wstring child = m_path + L"\\Doomed";
    ASSERT_TRUE(SetTextRaw(child + L"\\Deeper", L"view", L"one", 0));
    ASSERT_TRUE(SetTextRaw(m_path + L"\\Kept", L"view", L"one", 0));
    const ScopedOverride<DeleteKeyExLookup> recording(g_deleteKeyExSeam, &Recording);
    g_deletes.clear();

    RegistryKey parent64(LocalMachine, m_path, true);
    ASSERT_GE(parent64.Open(false), 0);
    EXPECT_EQ(S_OK, parent64.DeleteTree(L"Doomed"));
    EXPECT_FALSE(KeyPresent(child, 0));
    EXPECT_FALSE(KeyPresent(child, KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyPresent(m_path + L"\\Kept", 0));
    EXPECT_TRUE(g_deletes.empty()) << "RegDeleteKeyExW was called outside WOW64";
}

TEST_F(OneRegistryView, CopyTreeToFromAView64SourceCopiesWithinTheOnlyView)
{
    ASSERT_TRUE(SetTextRaw(m_path + L"\\Source\\Sub", L"view", L"one", 0));
    RegistryKey source(LocalMachine, m_path + L"\\Source", true);
    ASSERT_GE(source.Open(false), 0);
    EXPECT_EQ(S_OK, CopyTreeTo(source, m_path + L"\\Copy"));
    EXPECT_EQ(L"one", GetTextRaw(m_path + L"\\Copy\\Sub", L"view", 0));
}

} // namespace
