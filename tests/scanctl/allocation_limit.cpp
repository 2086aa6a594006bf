#include "allocation_limit.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace folvane::test {
namespace {

std::atomic<std::size_t> g_limit{std::numeric_limits<std::size_t>::max()};
std::atomic<int> g_refused{0};

}  // namespace

LargeArraysFail::LargeArraysFail(std::size_t bytes) { g_limit = bytes; }
LargeArraysFail::~LargeArraysFail() { g_limit = std::numeric_limits<std::size_t>::max(); }
int LargeArraysFail::Refused() { return g_refused; }

}  // namespace folvane::test

// malloc and free on both sides, so a memory checker sees matching pairs.
void* operator new[](std::size_t size) {
  if (size >= folvane::test::g_limit) {
    ++folvane::test::g_refused;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
