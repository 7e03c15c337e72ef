// The run log's advisory lock: one run at a time in a folder.
#pragma once

#include <string>

namespace ostrel {

/// An exclusive advisory lock (flock) on the run log, held while the object lives. Two runs
/// started in the same folder would write the same log and result file; the second finds the
/// log locked and stops before it writes anything. The lock is taken on the file without
/// changing it (it is created empty when missing); a file system without locks gives the lock
/// as held. Move-only.
class LogLock {
 public:
  /// Takes the lock on `path` without waiting. `held()` tells whether it was had; when not,
  /// `why()` says why: another run holds it, or the file cannot be opened (with the reason).
  explicit LogLock(const std::string& path);
  LogLock(LogLock&& other) noexcept;
  LogLock& operator=(LogLock&&) = delete;
  LogLock(const LogLock&) = delete;
  ~LogLock();

  bool held() const { return fd_ >= 0; }
  bool busy() const { return busy_; }  ///< not held: another run holds the lock
  const std::string& why() const { return why_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
  std::string why_;
};

}  // namespace ostrel
