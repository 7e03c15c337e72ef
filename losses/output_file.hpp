// Writing an output file safely: never over the problem file, never half written.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel::losses {

/// An output file that cannot be written (exit status 2 of ostrel-lines).
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Throws OutputError when one of `names` is a folder or the problem file `problem`, or two of
/// them are the same file (compared as absolute, normalised paths, links resolved as far as
/// they exist).
/// O(n^2) in names.
void check_output_names(const std::vector<std::string>& names, const std::string& problem);

/// Writes `text` to a new temporary file in the folder of `name` and renames it to `name` when
/// it is complete, so that a reader never sees a part of it and a failure leaves any earlier
/// file of that name as it was. Throws OutputError (and removes the temporary file) when the
/// name is the problem file, a folder, or the file cannot be written.
void write_output(const std::string& name, const std::string& text, const std::string& problem);

}  // namespace ostrel::losses
