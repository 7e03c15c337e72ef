#include "base/result_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "base/halt.hpp"
#include "base/signal_cleanup.hpp"

namespace ostrel {

namespace {

// Permissions of a new file when the umask cannot be read: rw for the owner, r for the others.
constexpr mode_t default_new_mode = 0644;
// Permissions that a new file asks for before the umask: read and write for everyone.
constexpr mode_t requested_mode = 0666;

// The process's umask, from /proc (reading it with umask() would change it for a moment, for
// every thread).
mode_t current_umask() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  return requested_mode & ~default_new_mode;
}

std::string system_reason() {
  return std::strerror(errno);
}

}  // namespace

ResultFile::ResultFile(const std::string& name) : name_(name), target_(name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (name.empty()) {
    why_ = "no file name";
    return;
  }
  if (fs::is_symlink(target_, ec)) {
    const fs::path resolved = fs::weakly_canonical(target_, ec);
    if (!ec) target_ = resolved.string();
  }
  struct stat st {};
  const bool exists = stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    why_ = "it is a directory";
    return;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe: no temporary file can stand in for it.
    fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) why_ = system_reason();
    return;
  }
  if (exists && access(target_.c_str(), W_OK) != 0) {
    why_ = system_reason();
    return;
  }
  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string leaf(1, '.');  // hidden, beside the file it stands in for
  leaf += target.filename().string();
  leaf += ".XXXXXX";
  const std::string pattern = (folder / leaf).string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  fd_ = mkostemp(buf.data(), O_CLOEXEC);
  if (fd_ < 0) {
    why_ = system_reason();
    return;
  }
  temp_ = buf.data();
  remove_on_signal(temp_);
}

ResultFile::ResultFile(ResultFile&& other) noexcept
    : name_(std::move(other.name_)),
      target_(std::move(other.target_)),
      temp_(std::exchange(other.temp_, {})),
      fd_(std::exchange(other.fd_, -1)),
      why_(std::move(other.why_)),
      text_(std::move(other.text_)) {}

ResultFile::~ResultFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    keep_on_signal(temp_);
  }
}

std::string ResultFile::commit() {
  if (fd_ < 0) return why_.empty() ? "not open" : why_;
  const std::string text = text_.str();
  std::string reason;
  for (std::size_t done = 0; done < text.size() && reason.empty();) {
    const ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      reason = system_reason();
    else
      done += static_cast<std::size_t>(n);
  }
  if (!temp_.empty()) {
    struct stat st {};
    const mode_t mode =
        stat(target_.c_str(), &st) == 0 ? st.st_mode & 07777 : requested_mode & ~current_umask();
    if (reason.empty() && fchmod(fd_, mode) != 0) reason = system_reason();
    // The text on the disk before the name points to it: a crash then leaves the old file or
    // the whole new one.
    if (reason.empty() && fsync(fd_) != 0) reason = system_reason();
  }
  if (close(fd_) != 0 && reason.empty()) reason = system_reason();
  fd_ = -1;
  if (temp_.empty()) return reason;
  if (reason.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) reason = system_reason();
  if (!reason.empty()) unlink(temp_.c_str());
  keep_on_signal(temp_);
  temp_.clear();
  return reason;
}

std::string write_whole_file(const std::string& name, const std::string& text) {
  ResultFile file(name);
  if (!file.is_open()) return file.why();
  file.stream() << text;
  return file.commit();
}

bool same_file(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  const auto resolved = [](const std::string& name) {
    std::error_code e;
    const fs::path p = fs::weakly_canonical(fs::absolute(name, e), e);
    return e ? fs::absolute(name).lexically_normal() : p;
  };
  return resolved(a) == resolved(b);
}

WholeFileWrite write_whole_file_or_here(const std::string& name, const std::string& text,
                                        bool may_move) {
  WholeFileWrite w{name, write_whole_file(name, text)};
  if (w.why.empty()) return w;
  w.written.clear();
  const std::string here = std::filesystem::path(name).filename().string();
  if (may_move && !here.empty() && !same_file(here, name) && write_whole_file(here, text).empty())
    w.written = here;
  return w;
}

std::string cannot_write(const ResultFile& file, const std::string& reason) {
  return "Cannot write output file " + file.name() + ": " + reason;
}

void commit_or_halt(ResultFile& file) {
  const std::string reason = file.commit();
  if (reason.empty()) return;
  Halt h;
  h.console = h.log = {cannot_write(file, reason)};
  halt(std::move(h));
}

}  // namespace ostrel
