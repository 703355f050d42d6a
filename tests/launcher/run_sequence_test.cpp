// Whole launcher processes, built with different resources, started the way a
// person or a deployment tool starts them.
#include <gtest/gtest.h>

#include <string>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::WholeRun;

const wchar_t kCaption[] = L"Orbelle test confirmation";

// These launchers carry no package: a run that reaches the package
// installation ends with the code of the missing resource.
const DWORD kReachedTheEnd = ERROR_RESOURCE_TYPE_NOT_FOUND;

struct NoBoxCase {
    const wchar_t* launcher;
    const char* story;
};

class RunWithoutBox : public ::testing::TestWithParam<NoBoxCase> {};

// No box may appear: nothing would answer it, so a box would show up as a
// time-out instead of an exit.
TEST_P(RunWithoutBox, RunsToItsEndWithoutAsking)
{
    WholeRun run;
    run.SetTimeout(60000);
    const auto result = run.Run(GetParam().launcher);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    EXPECT_FALSE(result.timedOut) << GetParam().story;
    EXPECT_EQ(kReachedTheEnd, result.exitCode) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(Table, RunWithoutBox,
                         ::testing::Values(NoBoxCase{L"launcher_plain", "no UNINST payload"},
                                           NoBoxCase{L"launcher_uninst", "UNINST without strings"},
                                           NoBoxCase{L"launcher_uninst_text_only", "UNINST with string 500 only"},
                                           NoBoxCase{L"launcher_uninst_caption_only", "UNINST with string 501 only"},
                                           NoBoxCase{L"launcher_uninst_empty_text",
                                                     "UNINST with an empty string 500"}));

// Finds the confirmation box by its caption and presses one of its buttons.
bool AnswerBox(int button, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        HWND box = FindWindowW(nullptr, kCaption);
        HWND control = box ? GetDlgItem(box, button) : nullptr;
        if (control != nullptr) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            return true;
        }
        Sleep(100);
    }
    return false;
}

DWORD RunConfirmingLauncher(int button, bool* answered)
{
    const WholeRun run;
    const UniqueKernelHandle process = run.Start(L"launcher_confirm");
    if (!process)
        return 0xFFFFFFFF;
    *answered = AnswerBox(button, 60000);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &code);
    else
        TerminateProcess(process.get(), 0xDEAD);
    return code;
}

bool HaveDisplay()
{
    return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0;
}

TEST(Confirmation, YesGoesOn)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "needs a display (the harness runs under Xvfb)";
    bool answered = false;
    EXPECT_EQ(kReachedTheEnd, RunConfirmingLauncher(IDYES, &answered));
    EXPECT_TRUE(answered);
}

TEST(Confirmation, NoEndsTheRunAsUserCancel)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "needs a display (the harness runs under Xvfb)";
    bool answered = false;
    EXPECT_EQ(static_cast<DWORD>(exit_code::kUserCancel), RunConfirmingLauncher(IDNO, &answered));
    EXPECT_TRUE(answered);
}

} // namespace
