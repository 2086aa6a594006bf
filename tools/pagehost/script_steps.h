#pragma once
// A page script split into the steps a page thread runs one at a time: a line
// that begins with "// @step" starts the next step (the rest of the line names
// it); text before the first such line is a step of its own when it holds
// anything but white space. Each step keeps the line it starts on, so that a
// script error names the line of the whole file. Portable.
#include <string>
#include <string_view>
#include <vector>

namespace pagehost {

struct ScriptStep {
  std::string name;
  std::string text;         // UTF-8, the marker line included
  unsigned firstLine = 0;   // 0-based line of the file the text starts on
};

std::vector<ScriptStep> SplitSteps(std::string_view script);

}  // namespace pagehost
