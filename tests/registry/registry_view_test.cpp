// The two registry views, for real: these tests mean something only in the
// 32-bit build running under WOW64, where the default view is the 32-bit one.
// Elsewhere both views are one and the tests skip.
#include <gtest/gtest.h>

#include <string>

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

class RegistryViews : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!UnderWow64())
            GTEST_SKIP() << "both registry views are one outside WOW64";
        m_name = L"OrbelleViewTest-" + testing_support::NewUuidText();
        m_path = L"Software\\" + m_name;
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
    std::wstring m_name;
    std::wstring m_path;
};

TEST_F(RegistryViews, View64OnAndOffResolveToDifferentKeys)
{
    {
        RegistryKey key64(LocalMachine, m_path, true);
        ASSERT_GE(key64.Open(false), 0);
        KV::Variant text;
        ASSERT_TRUE(text.SetText("sixty-four"));
        ASSERT_GE(key64.WriteValue(L"view", text), 0);
    }
    {
        RegistryKey key32(LocalMachine, m_path, false);
        ASSERT_GE(key32.Open(false), 0);
        KV::Variant text;
        ASSERT_TRUE(text.SetText("thirty-two"));
        ASSERT_GE(key32.WriteValue(L"view", text), 0);
    }
    EXPECT_EQ(L"sixty-four", GetTextRaw(m_path, L"view", KEY_WOW64_64KEY));
    EXPECT_EQ(L"thirty-two", GetTextRaw(m_path, L"view", KEY_WOW64_32KEY));

    RegistryKey reader64(LocalMachine, m_path, true);
    ASSERT_GE(reader64.Open(true), 0);
    KV::Variant value;
    ASSERT_GE(reader64.ReadValue(L"view", value), 0);
    EXPECT_STREQ("sixty-four", value.GetText());
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

} // namespace
