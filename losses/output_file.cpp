#include "losses/output_file.hpp"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace ostrel::losses {

namespace {

namespace fs = std::filesystem;

// The path as the file system resolves it, so that two spellings of one file compare equal.
fs::path resolved(const std::string& name) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(name, ec), ec);
  return ec ? fs::absolute(name).lexically_normal() : p;
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return resolved(a) == resolved(b);
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

void write_output(const std::string& name, const std::string& text, const std::string& problem) {
  check_output_names({name}, problem);
  std::error_code ec;
  if (fs::is_directory(name, ec))
    throw OutputError("cannot write '" + name + "': it is a directory");
  const fs::path target(name);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string base = ".";
  base += target.filename().string();
  base += ".XXXXXX";
  std::string temp = (folder / base).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw OutputError("cannot write '" + name + "': " + std::strerror(errno));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file its owner's only; an output file gets the mode a new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
  const int saved = ok ? 0 : errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(temp.c_str(), name.c_str()) == 0) return;
  const int err = saved ? saved : errno;
  std::remove(temp.c_str());
  throw OutputError("cannot write '" + name + "': " + std::strerror(err));
}

}  // namespace ostrel::losses
