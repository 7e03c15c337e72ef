// The line report: the console table and the JSON file.
#pragma once

#include <string>
#include <vector>

#include "lines/options.hpp"
#include "lines/parameters.hpp"

namespace ostrel::lines {

/// What the check adds: the figures of the refined grids and the notes on the elements that
/// could not be refined.
struct Check {
  LineParameters refined;
  std::vector<std::string> notes;
};

/// The shortest text that reads back as exactly `v` ("0.1", "1.2345678901234567e-10"); "nan"
/// or "inf" for a value that is not finite.
std::string exact_number(double v);

/// `s` as a JSON string: quoted, with quotes, backslashes and control characters escaped.
std::string json_string(const std::string& s);

/// The console table in SI units (pF/m, nH/m, mS/m, ohm, ns/m, m/s), one short heading per
/// block: the matrices C, L, C0 (and G with losses); per conductor Z, eps_eff, delay; for
/// m >= 2 the modes, Zc and for a symmetric pair the even and odd figures. With a check
/// (non-null) each figure is followed by its relative move on the refined grids in percent.
std::string console_table(const LineParameters& p, const Options& o, const Check* check);

/// The JSON document: every matrix and figure in full double precision and base SI units (the
/// "units" member names them), the options that shaped them, and the refined figures of the
/// check. Titles are escaped; a value that is not finite is written as null. `extra` (members
/// without a trailing comma, as the sweep's) is added at the end.
std::string json_report(const LineParameters& p, const Options& o, const std::string& title1,
                        const std::string& title2, const Check* check,
                        const std::string& extra = "");

}  // namespace ostrel::lines
