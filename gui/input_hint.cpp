#include "gui/input_hint.hpp"

#include <fstream>
#include <string>
#include <vector>

namespace ostrel::gui {

namespace {

// The values of groups 3 to 7 as the windowed program reads them, with the advice for a line
// that holds fewer and no "/".
struct Group {
  int values;
  const char* advice;
};
constexpr Group windowed_groups[] = {
    {3,
     "group 3 of the windowed program holds iprobl, iunits, ish: end the line with / to keep "
     "ish = 0"},
    {5, nullptr},
    {7, nullptr},
    {2, nullptr},
    {5,
     "group 7 of the windowed program holds iswitch, imm, itlim, eps and the scratch file's "
     "folder: end the line with / to keep the folder (and the values not given) as they are"},
};
constexpr int title_lines = 2;

// Values on one line of free-format input: blanks and commas separate them, "n*value" stands
// for n values, a quoted text is one value, "/" ends the group. Counting stops at a word that
// is no number (a comment that the reading would take for the missing value). Sets `slash`
// when a "/" ends the line's values.
int values_on(const std::string& line, bool& slash) {
  slash = false;
  int n = 0;
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '/') {
      slash = true;
      return n;
    }
    std::string token;
    if (c == '\'' || c == '"') {
      const std::size_t end = line.find(c, i + 1);
      i = end == std::string::npos ? line.size() : end + 1;
      token = "1";
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',' &&
             line[i] != '/' && line[i] != '\r')
        token += line[i++];
    }
    if (token.find_first_not_of("0123456789+-.eEdD*") != std::string::npos) return n;
    const std::size_t star = token.find('*');
    int count = 1;
    if (star != std::string::npos && star > 0) {
      try {
        count = std::max(1, std::stoi(token.substr(0, star)));
      } catch (...) {
        count = 1;
      }
    }
    n += count;
  }
  return n;
}

}  // namespace

std::string console_style_hint(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string line;
  for (int i = 0; i < title_lines; ++i)
    if (!std::getline(in, line)) return {};
  for (const Group& g : windowed_groups) {
    int got = 0;
    bool first = true;
    while (got < g.values) {
      if (!std::getline(in, line)) return {};
      bool slash = false;
      got += values_on(line, slash);
      if (first && g.advice && got < g.values && !slash && got > 0) return g.advice;
      first = false;
      if (slash) break;
    }
  }
  return {};
}

}  // namespace ostrel::gui
