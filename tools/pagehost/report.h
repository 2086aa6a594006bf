#pragma once
// What a page host run prints: lines of UTF-8 on standard output, so that
// Chinese text reaches the test's shell unchanged, and the count of failures
// that decides the run.
#include <windows.h>

#include <string>
#include <string_view>

namespace pagehost {

class Report {
 public:
  static void Line(std::wstring_view text);
  // "FAIL: text", counted.
  static void Failure(std::wstring_view text);
  static int Failures();
  // 0x-prefixed, eight hex digits.
  static std::wstring Hr(HRESULT hr);
};

}  // namespace pagehost
