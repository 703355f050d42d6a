// Registry links inside the trees that the layer copies and deletes, on the
// real registry of the test prefix with HKEY_LOCAL_MACHINE redirected to a
// scratch key. Wine makes links with REG_OPTION_CREATE_LINK as Windows does
// (docs/WINE.md); each link here leads to a key of the scratch tree, which
// must come through the copy and the delete untouched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/registry_tree.h"
#include "tests/support/raw_registry.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
using Names = std::vector<std::wstring>;

class RegistryLinks : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scratch.ok());
        // The key a link leads to: a value and a subkey of its own.
        ASSERT_TRUE(SetValueRaw(L"Protected", L"Secret", REG_SZ, WideBytes(L"keep out", true)));
        ASSERT_TRUE(SetValueRaw(L"Protected\\Inner", L"Deeper", REG_DWORD, Bytes{7, 0, 0, 0}));
    }
    void TearDown() override
    {
        // Links go first, as links: the scratch key's own removal would
        // follow them.
        for (const std::wstring& link : m_links)
            DeleteLinkRaw(link);
    }
    void Link(const std::wstring& path, const std::wstring& target)
    {
        ASSERT_TRUE(CreateLinkRaw(path, target));
        m_links.push_back(path);
    }
    void ExpectProtectedUntouched()
    {
        EXPECT_EQ(Names{L"Secret"}, ValueNamesRaw(L"Protected"));
        EXPECT_EQ(Names{L"Inner"}, SubkeyNamesRaw(L"Protected"));
        EXPECT_EQ(Names{L"Deeper"}, ValueNamesRaw(L"Protected\\Inner"));
    }
    ScratchRegistry m_scratch;
    std::vector<std::wstring> m_links;
};

TEST_F(RegistryLinks, TheCopyLeavesOutALinkAndNothingOfWhereItLeadsArrives)
{
    ASSERT_TRUE(SetValueRaw(L"Settings", L"Rate", REG_DWORD, Bytes{0x80, 0xBB, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Settings\\Ordinary", L"x", REG_DWORD, Bytes{1, 0, 0, 0}));
    Link(L"Settings\\Link", L"Protected");
    RegistryKey source(LocalMachine, L"Settings", false);
    RegistryKey destination(LocalMachine, L"Backup", false);
    ASSERT_EQ(S_OK, source.Open(false));
    ASSERT_EQ(S_OK, destination.Open(false));

    EXPECT_EQ(E_FAIL, CopyTree(source, destination)) << "a link left out is reported";
    EXPECT_EQ(Names{L"Rate"}, ValueNamesRaw(L"Backup"));
    EXPECT_EQ(Names{L"Ordinary"}, SubkeyNamesRaw(L"Backup"));
    EXPECT_EQ(Names{L"x"}, ValueNamesRaw(L"Backup\\Ordinary"));
    ExpectProtectedUntouched();
}

// A backup left by an earlier run may hold what others put there.
class LinkAtTheDestination : public RegistryLinks, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(LinkAtTheDestination, IsNeverWrittenThrough)
{
    ASSERT_TRUE(SetValueRaw(L"Settings", L"Rate", REG_DWORD, Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Settings\\Ordinary", L"x", REG_DWORD, Bytes{1, 0, 0, 0}));
    Link(GetParam(), L"Protected");
    RegistryKey source(LocalMachine, L"Settings", false);
    ASSERT_EQ(S_OK, source.Open(false));
    EXPECT_EQ(E_FAIL, CopyTreeTo(source, L"Backup"));
    ExpectProtectedUntouched();
}

INSTANTIATE_TEST_SUITE_P(Table, LinkAtTheDestination, ::testing::Values(L"Backup", L"Backup\\Ordinary"));

TEST_F(RegistryLinks, TheDeleteRemovesALinkBelowAsTheLinkAndLeavesWhereItLeads)
{
    ASSERT_TRUE(CreateKeyRaw(L"P\\Victim\\Plain"));
    Link(L"P\\Victim\\Link", L"Protected");
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"Victim"));
    EXPECT_FALSE(KeyPresent(L"P\\Victim"));
    ExpectProtectedUntouched();
}

TEST_F(RegistryLinks, ALinkAtTheDeletedNameIsDeletedAsTheLink)
{
    Link(L"P\\Victim", L"Protected");
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"Victim"));
    EXPECT_TRUE(SubkeyNamesRaw(L"P").empty());
    ExpectProtectedUntouched();
}

TEST_F(RegistryLinks, OpenBelowOpensALinkAsItselfAndIsLinkSaysSo)
{
    ASSERT_TRUE(CreateKeyRaw(L"P\\Plain"));
    Link(L"P\\Link", L"Protected");
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    RegistryKey link(LocalMachine, L"P\\Link", false);
    ASSERT_EQ(S_OK, link.OpenBelow(parent, true));
    EXPECT_TRUE(link.IsLink());
    NameList names;
    EXPECT_EQ(S_OK, link.EnumSubkeys(names));
    EXPECT_TRUE(names.empty()) << "the link's target was opened";
    RegistryKey plain(LocalMachine, L"P\\Plain", false);
    ASSERT_EQ(S_OK, plain.OpenBelow(parent, true));
    EXPECT_FALSE(plain.IsLink());
    // Only a direct subkey of the parent, in its root and view.
    RegistryKey deeper(LocalMachine, L"P\\Plain\\Below", false);
    EXPECT_EQ(E_FAIL, deeper.OpenBelow(parent, false));
    RegistryKey other(LocalMachine, L"Q\\Plain", false);
    EXPECT_EQ(E_FAIL, other.OpenBelow(parent, false));
    EXPECT_FALSE(KeyPresent(L"P\\Plain\\Below"));
}

// The registry's own nesting limit (512 levels) bounds both walks: a tree
// deeper than that below where they start (Wine makes one; Windows would
// refuse the keys beyond its limit) is copied 512 levels deep, and not
// deleted at all.
TEST_F(RegistryLinks, BothWalksStopAtTheRegistrysNestingLimit)
{
    std::wstring deepest = L"Deep";
    for (int level = 0; level < RegistryKey::kMaxTreeDepth + 2; ++level)
        deepest += L"\\k";
    ASSERT_TRUE(CreateKeyRaw(deepest));
    RegistryKey source(LocalMachine, L"Deep", false);
    RegistryKey destination(LocalMachine, L"DeepCopy", false);
    ASSERT_EQ(S_OK, source.Open(false));
    ASSERT_EQ(S_OK, destination.Open(false));
    EXPECT_EQ(E_FAIL, CopyTree(source, destination));
    int copied = 0;
    for (std::wstring path = L"DeepCopy\\k"; KeyPresent(path); path += L"\\k")
        ++copied;
    EXPECT_EQ(RegistryKey::kMaxTreeDepth, copied);

    RegistryKey root(LocalMachine, L"", false);
    ASSERT_EQ(S_OK, root.Open(false));
    source.Close();
    EXPECT_EQ(E_FAIL, root.DeleteTree(L"Deep"));
    EXPECT_TRUE(KeyPresent(deepest)) << "part of a tree too deep was deleted";
}

} // namespace
