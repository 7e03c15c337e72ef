#include "lines/output_file.hpp"

#include <filesystem>
#include <ostream>

#include "base/result_file.hpp"

namespace ostrel::lines {

namespace {

namespace fs = std::filesystem;

// The path as the file system resolves it, so that two spellings of one file compare equal.
fs::path resolved(const std::string& name) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(name, ec), ec);
  return ec ? fs::absolute(name).lexically_normal() : p;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return resolved(a) == resolved(b);
}

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
  const std::string why = write_whole_file(name, text);
  if (why.empty()) return name;
  // Named after the problem and beside it: the current folder, when that is another one.
  const fs::path file(name), input(problem);
  const std::string here = file.filename().string();
  const bool beside = resolved(file.parent_path().empty() ? "." : file.parent_path().string()) ==
                      resolved(input.parent_path().empty() ? "." : input.parent_path().string());
  if (beside && here.starts_with(input.filename().string()) && !same_file(here, name) &&
      write_whole_file(here, text).empty()) {
    console << "  " << name << " cannot be written (" << why << "): written to " << here
            << " in the current folder instead\n";
    return here;
  }
  throw OutputError("cannot write '" + name + "': " + why);
}

}  // namespace ostrel::lines
