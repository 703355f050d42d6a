#include <gtest/gtest.h>

#include <string>

#include "framework/command_tail.h"
#include "framework/win_app.h"

namespace {

struct TailCase {
    const wchar_t* commandLine;
    const wchar_t* expectedTail;
};

class CommandTail : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandTail, SkipsProgramNameAndFollowingControlCharacters)
{
    EXPECT_EQ(std::wstring(GetParam().expectedTail), std::wstring(SkipProgramName(GetParam().commandLine)));
}

INSTANTIATE_TEST_SUITE_P(Table, CommandTail,
                         ::testing::Values(TailCase{L"setup.exe", L""}, TailCase{L"setup.exe ", L""},
                                           TailCase{L"setup.exe -quiet", L"-quiet"},
                                           TailCase{L"\"C:\\Program Files\\My Setup\\setup.exe\" -quiet", L"-quiet"},
                                           TailCase{L"\"C:\\Program Files\\My Setup\\setup.exe\"", L""},
                                           // Quotes switch state anywhere in the name, not only at its start.
                                           TailCase{L"C:\\a\" b\"\\setup.exe x", L"x"},
                                           // Tabs and every other control character after the name are skipped.
                                           TailCase{L"setup.exe\t\t-quiet", L"-quiet"},
                                           TailCase{L"setup.exe \x01\x02\x1f -quiet \t", L"-quiet \t"},
                                           // A control character ends an unquoted name.
                                           TailCase{L"setup.exe\x05-quiet", L"-quiet"},
                                           // An unbalanced quote swallows the rest of the line into the name.
                                           TailCase{L"\"setup.exe -quiet", L""}, TailCase{L"", L""},
                                           TailCase{L"   -quiet", L"-quiet"}));

TEST(CommandTail, NullCommandLineGivesEmptyTail)
{
    EXPECT_STREQ(L"", SkipProgramName(nullptr));
}

class RecordingApp : public CWinApp {
  public:
    BOOL InitInstance() override
    {
        seenTail = m_lpCmdLine;
        ++calls;
        SetExitCode(42);
        return FALSE;
    }
    std::wstring seenTail;
    int calls = 0;
};

TEST(Application, EntryProtocolCallsInitInstanceOnceAndReturnsExitInstance)
{
    RecordingApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(42, AfxRunApplication(&app, L"\"C:\\x y\\OrbelleSetup.exe\"\t -msiargs \"/qn\""));
    EXPECT_EQ(1, app.calls);
    EXPECT_EQ(L"-msiargs \"/qn\"", app.seenTail);
}

TEST(Application, WithoutMainWindowOwnerIsActiveWindowOrNone)
{
    RecordingApp app;
    EXPECT_EQ(GetActiveWindow(), app.GetMainWnd());
}

TEST(Application, MissingStringResourceIsReportedAbsent)
{
    RecordingApp app;
    std::wstring text = L"left over";
    EXPECT_FALSE(app.LoadString(500, text));
    EXPECT_TRUE(text.empty());
}

} // namespace
