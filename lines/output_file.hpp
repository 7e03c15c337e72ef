// Writing the output files of ostrel-lines: never over the problem file, never half written.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel::lines {

/// An output file that cannot be written (exit status 2 of ostrel-lines).
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Throws OutputError when one of `names` is a folder or the problem file `problem`, or two of
/// them are the same file (compared as absolute, normalised paths, links resolved as far as
/// they exist). O(n^2) in names.
void check_output_names(const std::vector<std::string>& names, const std::string& problem);

/// Writes `text` as the whole of `name` (write_whole_file: a temporary file in its folder moved
/// into place, so that a reader never sees a part of it and a failure leaves an earlier file of
/// that name as it was). A file named after the problem, beside it (PROBLEM.json, ...), that
/// cannot be written there (a read-only folder) goes to the current folder under the same file
/// name, and `console` says so. Returns the name written. Throws OutputError when the name is
/// the problem file or a folder, or no file can be written.
std::string write_output(const std::string& name, const std::string& text,
                         const std::string& problem, std::ostream& console);

}  // namespace ostrel::lines
