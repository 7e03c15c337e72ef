#include "lines/output_file.hpp"

#include <filesystem>
#include <ostream>

#include "base/result_file.hpp"

namespace ostrel::lines {

namespace fs = std::filesystem;

namespace {

// The folder of a path ("." for a bare file name) as the file system resolves it.
fs::path folder_of(const fs::path& p) {
  const std::string f = p.parent_path().empty() ? "." : p.parent_path().string();
  std::error_code ec;
  const fs::path r = fs::weakly_canonical(fs::absolute(f, ec), ec);
  return ec ? fs::absolute(f).lexically_normal() : r;
}

}  // namespace

void check_output_names(const std::vector<std::string>& names, const std::string& problem) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::error_code ec;
    if (fs::is_directory(names[i], ec))
      throw OutputError("cannot write '" + names[i] + "': it is a directory");
    if (same_file(names[i], problem))
      throw OutputError("the output file '" + names[i] + "' is the problem file");
    for (std::size_t j = 0; j < i; ++j)
      if (same_file(names[i], names[j]))
        throw OutputError("two outputs would be written to the same file '" + names[i] + "'");
  }
}

std::string write_output(const std::string& name, const std::string& text,
                         const std::string& problem, std::ostream& console) {
  check_output_names({name}, problem);
  // Named after the problem and beside it: the current folder, when that is another one.
  const fs::path file(name), input(problem);
  const bool beside = folder_of(file) == folder_of(input) &&
                      file.filename().string().starts_with(input.filename().string());
  const WholeFileWrite w = write_whole_file_or_here(name, text, beside);
  if (w.why.empty()) return name;
  if (!w.written.empty()) {
    console << "  " << name << " cannot be written (" << w.why << "): written to " << w.written
            << " in the current folder instead\n";
    return w.written;
  }
  throw OutputError("cannot write '" + name + "': " + w.why);
}

}  // namespace ostrel::lines
