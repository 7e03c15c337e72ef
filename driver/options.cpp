#include "driver/options.hpp"

#include "base/fields.hpp"
#include "elements.hpp"

namespace ostrel {

namespace {

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "unknown"
#endif

// The problem file's groups as each program reads them: the windowed program reads one more
// value in groups 3 and 7 and takes the node laws from the file. Every line is "term  text"
// (two blanks at least between them), so that manual pages can be made from it.
constexpr const char* format_in_brief =
    "The problem file is plain text, read as free-format groups:\n"
    "  titles                 two lines of text\n"
    "  iprobl iunits          0 capacitance, 1 inductance; units of the report (0..6)\n"
    "  deps(1) .. deps(5)     permittivities (or permeabilities) of up to five media\n"
    "  igg idmn gpars(1..5)   Green's function 0..5, zero total charge switch, parameters\n"
    "  ah iorder              target sub-element length, 1\n"
    "  iswitch imm itlim eps  0 in-core LU; otherwise the block out-of-core iteration\n"
    "  (a line)               skipped\n"
    "  per element            four lines each, up to 100 elements:\n"
    "    nr iform itype isign ni ileft iright\n"
    "                         number, form, type, conductor, points, node laws\n";
constexpr const char* windowed_format_in_brief =
    "The problem file is plain text, read as free-format groups (a / ends a group early,\n"
    "keeping the values not given):\n"
    "  titles                 two lines of text\n"
    "  iprobl iunits ish      0 capacitance, 1 inductance; units (0..6); ish 1 numbers the\n"
    "                         elements in the plots (end the line with / to keep ish = 0)\n"
    "  deps(1) .. deps(5)     permittivities (or permeabilities) of up to five media\n"
    "  igg idmn gpars(1..5)   Green's function 0..5, zero total charge switch, parameters\n"
    "  ah iorder              target sub-element length, 1\n"
    "  iswitch imm itlim eps folder\n"
    "                         0 in-core LU; otherwise the block out-of-core iteration with\n"
    "                         its scratch file in folder (quoted when it holds a /)\n"
    "  (a line)               skipped\n"
    "  per element            four lines each, up to 100 elements:\n"
    "    nr iform itype isign ni ileft iright\n"
    "                         number, form, type, conductor, points, node laws (0 uniform,\n"
    "                         1 graded toward the ends)\n";
constexpr const char* format_elements =
    "    geometry             x1 y1 x2 y2 0 | xc yc r phi1 phi2 | xc yc r orient 0\n"
    "                         (or, with nr <= 0, a copy: iele dx dy t)\n"
    "    iamns iaplus         media on the minus and the plus side\n"
    "    (a line)             separator\n"
    "See the README for the meaning of every value.\n";

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv, bool windowed) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!a.starts_with("--")) {
      cl.files.push_back(a);
    } else if (a == "--help") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (windowed && a == "--snapshot") {
      if (i + 1 >= argc || std::string(argv[i + 1]).starts_with("--")) {
        cl.error = "--snapshot needs the name of the image file";
        return cl;
      }
      cl.snapshot = argv[++i];
    } else {
      cl.error =
          "unknown option " + a + " (a file whose name starts with -- is given as ./" + a + ")";
      return cl;
    }
  }
  return cl;
}

std::string usage_text(bool windowed) {
  std::string s;
  if (windowed)
    s = "Usage: ostrel-gui [--snapshot IMAGE.png] [INPUT [RESULT]]\n"
        "Solves the problem in INPUT and shows its status, cross-section and charge densities in\n"
        "two windows; writes the matrix to RESULT (default result.osl) and the run log to\n"
        "ostrel.log in the current directory. Without INPUT the problem is picked in a file\n"
        "dialog; then, and for problems opened from the window (File > Open, F5 runs again,\n"
        "Esc stops), result.osl and ostrel.log go next to the problem file.\n"
        "  --snapshot IMAGE.png  save an image of the window after the run and exit with the\n"
        "                        run's exit status\n";
  else
    s = "Usage: ostrel [INPUT [RESULT]]\n"
        "Solves the problem in INPUT (asked for on the console when not given); writes the\n"
        "matrix to RESULT (default result.osl), the run log to ostrel.log in the current\n"
        "directory and a picture of the cross-section to INPUT.ps.\n";
  s += "  --help     this text\n"
       "  --version  the version and the capacities\n\n";
  s += windowed ? windowed_format_in_brief : format_in_brief;
  return s + format_elements;
}

std::string version_text(bool windowed) {
  return std::string(windowed ? windowed_program : console_program) + " " + OSTREL_VERSION + "\n" +
         iw(n0, 3) + " boundary elements, " + iw(ndiel, 3) + " dielectrics, " + iw(nimax_def, 3) +
         " sub-elements per element\n";
}

}  // namespace ostrel
