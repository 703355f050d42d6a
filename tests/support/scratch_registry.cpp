#include "tests/support/scratch_registry.h"

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace testing_support {

namespace {

const wchar_t kTestsParent[] = L"Software\\OrbelleTests";

} // namespace

ScratchRegistry::ScratchRegistry()
{
    m_path = std::wstring(kTestsParent) + L"\\" + NewUuidText();
    UniqueHkey scratch; // the override keeps its own reference
    if (scratch.receive([&](HKEY* slot) {
            return RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, slot,
                                   nullptr);
        }) != ERROR_SUCCESS)
        return;
    m_ok = RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch.get()) == ERROR_SUCCESS;
}

ScratchRegistry::~ScratchRegistry()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestsParent); // fails while other runs use it
}

} // namespace testing_support
