// The result file of a run: written whole when the run has succeeded, so that a run that fails
// never leaves a cut matrix nor destroys a good result of an earlier run.
#pragma once

#include <sstream>
#include <string>

namespace ostrel {

/// The text of the result file is gathered in memory while the run goes on (one matrix: a few
/// kilobytes) and written by commit(). A regular file, or a name that does not exist yet, is
/// written under a temporary name in its folder (".NAME.XXXXXX", created empty when the result
/// file is opened, and removed by the signal handler should a signal end the run) and then
/// moved over NAME, with the permissions the old file had (a new one gets those of the umask);
/// a symbolic link is followed, so the file it names is replaced. Anything else that opens for
/// writing (a device such as /dev/null or /dev/full, a pipe) is opened at once and written by
/// commit(). Without commit() the temporary file is removed and NAME stays as it was, or absent.
/// Move-only.
class ResultFile {
 public:
  /// Opens the result file `name` as described. is_open() tells whether it could be; when not,
  /// why() gives the reason: a directory, a folder where no file can be created, an existing
  /// file that cannot be written (read-only files are not replaced), the system's own reason.
  explicit ResultFile(const std::string& name);
  ResultFile(ResultFile&& other) noexcept;
  ResultFile& operator=(ResultFile&&) = delete;
  ResultFile(const ResultFile&) = delete;
  ~ResultFile();

  bool is_open() const { return fd_ >= 0; }
  const std::string& why() const { return why_; }
  const std::string& name() const { return name_; }

  /// Where the run writes the text.
  std::ostream& stream() { return text_; }

  /// Writes the text (every write checked, then synchronised to the disk) and moves it into
  /// place. Returns an empty string when done, else the reason (the system's error text); the
  /// temporary file is then removed and NAME left as it was. At most once. Cost: the text's
  /// size in writes, one fsync and one rename.
  std::string commit();

 private:
  std::string name_;    // as given
  std::string target_;  // the file replaced (a symbolic link's target)
  std::string temp_;    // the temporary file; empty when writing straight to the target
  int fd_ = -1;
  std::string why_;
  std::ostringstream text_;
};

/// Writes `text` as the whole content of the file `name` as a ResultFile does (temporary file
/// moved into place; the old file, if any, stays when the write fails). Returns an empty string
/// when done, else the reason.
std::string write_whole_file(const std::string& name, const std::string& text);

/// True when the paths `a` and `b` name the same file: the same file where both exist, else
/// the same absolute path once links and dot segments are resolved as far as they exist.
bool same_file(const std::string& a, const std::string& b);

/// Where write_whole_file_or_here put a text.
struct WholeFileWrite {
  std::string written;  ///< the file written: the name asked for, its file name in the current
                        ///< folder instead, or empty when neither could be written
  std::string why;      ///< why the name asked for could not be written; empty when it was
};

/// Writes `text` as the whole of `name` (write_whole_file). When that fails and `may_move`
/// holds, writes it to the file of the same name in the current folder instead, unless that is
/// `name` itself: for a file beside an input that lies in a folder the user cannot write.
WholeFileWrite write_whole_file_or_here(const std::string& name, const std::string& text,
                                        bool may_move);

/// The line of a result file that cannot be written: "Cannot write output file NAME: REASON".
std::string cannot_write(const ResultFile& file, const std::string& reason);

/// commit() of `file`; a failure stops the run (exit status 1) with cannot_write() on the
/// console and in the log.
void commit_or_halt(ResultFile& file);

}  // namespace ostrel
