// ScopedEnvironmentVariable against the real process environment: whatever
// the variable held before (a value, a long value, an empty value, nothing),
// exactly that is there again afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/scoped_environment.h"

namespace {

const wchar_t kName[] = L"ORBELLE_SCOPED_ENVIRONMENT_TEST";

// The variable as it is: present or not, and its value.
struct State {
    bool present = false;
    std::wstring value;
    bool operator==(const State& other) const { return present == other.present && value == other.value; }
};

State Read()
{
    State state;
    SetLastError(ERROR_SUCCESS);
    const DWORD needed = GetEnvironmentVariableW(kName, nullptr, 0);
    if (needed == 0) {
        state.present = GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        return state;
    }
    state.value.resize(needed);
    state.value.resize(GetEnvironmentVariableW(kName, &state.value[0], needed));
    state.present = true;
    return state;
}

void Put(const State& state)
{
    SetEnvironmentVariableW(kName, state.present ? state.value.c_str() : nullptr);
}

struct Case {
    const char* story;
    State before;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.story;
}

class Restores : public ::testing::TestWithParam<Case> {
  protected:
    ~Restores() override { SetEnvironmentVariableW(kName, nullptr); }
};

TEST_P(Restores, WhatWasThereBefore)
{
    Put(GetParam().before);
    ASSERT_EQ(GetParam().before, Read()) << "this system cannot hold the state to restore";
    {
        ScopedEnvironmentVariable variable(kName);
        ASSERT_EQ(0, variable.Set(L"C:\\work\\tmp"));
        EXPECT_EQ((State{true, L"C:\\work\\tmp"}), Read());
        // A second value while held: the first record is what comes back.
        ASSERT_EQ(0, variable.Set(L"C:\\other"));
        EXPECT_EQ((State{true, L"C:\\other"}), Read());
    }
    EXPECT_EQ(GetParam().before, Read());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Restores,
    ::testing::Values(Case{"no variable: removed again", {false, L""}}, Case{"a value", {true, L"C:\\Windows\\Temp"}},
                      Case{"a value longer than any fixed buffer", {true, std::wstring(20000, L'x')}},
                      Case{"an empty value", {true, L""}}));

TEST(ScopedEnvironment, RestoreComesOnceAndKeepsTheLastError)
{
    Put({true, L"before"});
    ScopedEnvironmentVariable variable(kName);
    ASSERT_EQ(0, variable.Set(L"during"));
    SetLastError(ERROR_FILE_NOT_FOUND);
    variable.Restore();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ((State{true, L"before"}), Read());
    // Changed by someone else afterwards: a second restore (here the
    // destructor's) does not undo that.
    Put({true, L"later"});
    variable.Restore();
    EXPECT_EQ((State{true, L"later"}), Read());
    SetEnvironmentVariableW(kName, nullptr);
}

// A variable that cannot be set (a name with "=" in it) is reported.
TEST(ScopedEnvironment, AFailedSetReportsItsCode)
{
    ScopedEnvironmentVariable variable(L"ORBELLE=BAD");
    EXPECT_NE(0, variable.Set(L"x"));
}

} // namespace
