#include "script_steps.h"

namespace pagehost {
namespace {

constexpr std::string_view kMarker = "// @step";

std::string Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

std::vector<ScriptStep> SplitSteps(std::string_view script) {
  std::vector<ScriptStep> steps;
  ScriptStep current{"setup", {}, 0};
  unsigned line = 0;
  std::size_t at = 0;
  const auto finish = [&] {
    if (!Trimmed(current.text).empty()) steps.push_back(std::move(current));
  };
  while (at < script.size()) {
    const std::size_t end = script.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? script.size() : end + 1;
    const std::string_view text = script.substr(at, next - at);
    if (text.substr(0, kMarker.size()) == kMarker) {
      finish();
      current = ScriptStep{Trimmed(text.substr(kMarker.size())), {}, line};
      if (current.name.empty()) current.name = "step " + std::to_string(steps.size() + 1);
    }
    current.text.append(text);
    at = next;
    ++line;
  }
  finish();
  return steps;
}

}  // namespace pagehost
