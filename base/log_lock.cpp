#include "base/log_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ostrel {

LogLock::LogLock(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    why_ = std::strerror(errno);
    return;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd);
    busy_ = true;
    why_ = "another run in this folder is using it";
    return;
  }
  // Other failures (a file system without locks): the run goes on unlocked.
  fd_ = fd;
}

LogLock::LogLock(LogLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), busy_(other.busy_), why_(std::move(other.why_)) {}

LogLock::~LogLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace ostrel
