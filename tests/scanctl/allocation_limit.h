#pragma once
// Makes large array allocations fail, to see what code does when memory runs
// out. The program that links allocation_limit.cpp replaces the global
// operator new[] (the form the code under test uses for page-sized buffers);
// while a LargeArraysFail is alive, every new[] of at least `bytes` throws
// std::bad_alloc.
#include <cstddef>

namespace folvane::test {

class LargeArraysFail {
 public:
  explicit LargeArraysFail(std::size_t bytes);
  ~LargeArraysFail();
  LargeArraysFail(const LargeArraysFail&) = delete;
  LargeArraysFail& operator=(const LargeArraysFail&) = delete;

  // How many allocations were refused so far.
  static int Refused();
};

}  // namespace folvane::test
