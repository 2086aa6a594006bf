#include "module.h"

#include <array>
#include <new>

namespace ax {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_lockCount = 0;
bool g_perUser = false;
bool g_sectionReady = false;
CRITICAL_SECTION g_section;
std::array<Module::Cleanup, 8> g_cleanups{};
std::size_t g_cleanupCount = 0;

}  // namespace

bool Module::Init(HINSTANCE instance) {
  g_instance = instance;
  if (!g_sectionReady) {
    if (!InitializeCriticalSectionEx(&g_section, 0, 0)) return false;
    g_sectionReady = true;
  }
  return true;
}

void Module::Term() {
  while (g_cleanupCount > 0) g_cleanups[--g_cleanupCount]();
  if (g_sectionReady) {
    DeleteCriticalSection(&g_section);
    g_sectionReady = false;
  }
}

HINSTANCE Module::Instance() {
  if (!g_instance) g_instance = GetModuleHandleW(nullptr);  // a test program linking the framework
  return g_instance;
}

std::wstring Module::FilePath() noexcept {
  try {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      DWORD n = GetModuleFileNameW(Instance(), path.data(), static_cast<DWORD>(path.size()));
      if (n == 0) return {};
      if (n < path.size()) {
        path.resize(n);
        return path;
      }
      if (path.size() >= 32768) return {};
      path.resize(path.size() * 2);
    }
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return {};
  }
}

LONG Module::Lock() { return InterlockedIncrement(&g_lockCount); }
LONG Module::Unlock() { return InterlockedDecrement(&g_lockCount); }
LONG Module::LockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }
HRESULT Module::CanUnloadNow() { return LockCount() == 0 ? S_OK : S_FALSE; }

bool Module::PerUserRegistration() { return g_perUser; }
void Module::SetPerUserRegistration(bool perUser) { g_perUser = perUser; }

void Module::AtTerm(Cleanup cleanup) {
  if (g_cleanupCount < g_cleanups.size()) g_cleanups[g_cleanupCount++] = cleanup;
}

CRITICAL_SECTION& Module::Section() {
  // A program that links the framework without a DllMain sets it up on first use.
  if (!g_sectionReady) Init(Instance());
  return g_section;
}

}  // namespace ax
