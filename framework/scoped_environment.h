#pragma once
// One variable of this process's environment changed for a moment and put
// back. Children take their environment from the launcher's at their start,
// and the shell's ShellExecuteExW takes no environment block of its own, so a
// variable that only a child should see is set around that child's start.
#include <windows.h>

#include <string>

// Owns the change of one environment variable: Set records what the variable
// held (a value, an empty value, or no variable at all) and sets the new
// value; Restore, or the destructor, puts back exactly what was recorded,
// removing the variable when there was none. Not copyable.
class ScopedEnvironmentVariable {
  public:
    // `name` must outlive the object.
    explicit ScopedEnvironmentVariable(const wchar_t* name) noexcept : m_name(name) {}
    ~ScopedEnvironmentVariable() { Restore(); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

    // Records the variable and sets it to `value`. Returns 0, or a nonzero
    // system code when it could not be read or set: the variable then keeps
    // what it held before the call, and a first call that failed leaves
    // nothing to restore. A second call while a change is held sets the new
    // value and keeps the first record.
    int Set(const std::wstring& value);

    // Puts back the recorded state, once; does nothing when nothing is held.
    // The calling thread's last error is the same afterwards.
    void Restore() noexcept;

  private:
    // Reads the variable into m_old and m_existed. Returns 0 or a system code.
    int Record();

    const wchar_t* m_name;
    std::wstring m_old;
    bool m_existed = false;
    bool m_held = false;
};
