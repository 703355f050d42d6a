#include "tests/support/whole_run.h"

#include <gtest/gtest.h>

namespace testing_support {

namespace {

// The quoted program, then its arguments after a blank when there are any.
std::wstring CommandLine(const std::wstring& quotedProgram, const std::wstring& arguments)
{
    return arguments.empty() ? quotedProgram : quotedProgram + L" " + arguments;
}

} // namespace

std::vector<std::wstring> RunResult::Programs() const
{
    std::vector<std::wstring> names;
    for (const StandinRecord& record : children)
        names.push_back(record.program);
    return names;
}

WholeRun::WholeRun()
{
    if (!CreateDirectoryW(m_tmp.c_str(), nullptr))
        ADD_FAILURE() << "could not make the runs' tmp folder " << WideToUtf8(m_tmp) << " (" << GetLastError() << ")";
}

void WholeRun::Set(const std::wstring& name, const std::wstring& value)
{
    m_set[name] = value;
}

Environment WholeRun::RunEnvironment(const Environment& env) const
{
    Environment all = {{L"STANDIN_LOG", m_log}, {L"TMP", m_tmp}, {L"TEMP", m_tmp}};
    for (const auto& variable : m_set)
        all[variable.first] = variable.second;
    for (const auto& variable : env)
        all[variable.first] = variable.second;
    return all;
}

RunResult WholeRun::Execute(const std::wstring& commandLine, const Environment& env) const
{
    const size_t before = Records().size();
    RunResult result;
    static_cast<ProcessResult&>(result) = RunProcess(commandLine, RunEnvironment(env), m_timeoutMs, m_currentFolder);
    result.commandLine = commandLine;
    std::vector<StandinRecord> records = Records();
    if (records.size() > before)
        result.children.assign(records.begin() + static_cast<std::ptrdiff_t>(before), records.end());
    result.leftNothing = LeftNothing();
    return result;
}

RunResult WholeRun::Run(const std::wstring& name, const std::wstring& arguments, const Environment& env) const
{
    return Execute(CommandLine(Launcher(name), arguments), env);
}

RunResult WholeRun::RunProgram(const std::wstring& path, const std::wstring& arguments, const Environment& env) const
{
    return Execute(CommandLine(L"\"" + path + L"\"", arguments), env);
}

UniqueKernelHandle WholeRun::Start(const std::wstring& name, const std::wstring& arguments, const Environment& env,
                                   DWORD* pid) const
{
    return StartProcess(CommandLine(Launcher(name), arguments), RunEnvironment(env), pid, m_currentFolder);
}

std::vector<StandinRecord> WholeRun::Records() const
{
    return ReadStandinLog(m_log);
}

bool WholeRun::LeftNothing() const
{
    return PathExists(m_tmp) && ListNames(m_tmp).empty();
}

} // namespace testing_support
