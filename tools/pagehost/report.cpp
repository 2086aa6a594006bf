#include "report.h"

#include <cstdio>

#include "text/codepage_win32.h"

namespace pagehost {
namespace {

int g_failures = 0;

}  // namespace

void Report::Line(std::wstring_view text) {
  // Unpaired surrogates cannot become UTF-8: show them as U+FFFD.
  std::wstring clean(text);
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const bool high = clean[i] >= 0xD800 && clean[i] <= 0xDBFF;
    const bool low = clean[i] >= 0xDC00 && clean[i] <= 0xDFFF;
    if (high && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 && clean[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      clean[i] = 0xFFFD;
    }
  }
  const std::string utf8 = bidder::WideToCodePage(clean, CP_UTF8).value_or("?");
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Report::Failure(std::wstring_view text) {
  ++g_failures;
  Line(L"FAIL: " + std::wstring(text));
}

int Report::Failures() { return g_failures; }

std::wstring Report::Hr(HRESULT hr) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace pagehost
