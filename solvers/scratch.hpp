// The scratch file of the out-of-core mode: one text record per boundary element.
//
// Record of an element with p rows and a system of order nd: the block row ama(k,a) for
// k = 1..p (outer), a = 1..nd (inner); the diagonal-block factors blk(k,l) for k = 1..p
// (outer), l = 1..p (inner); the p block pivots. A real is written as a blank, '-' or a second
// blank, and its magnitude in the shortest digits that read back as the same double (at most
// 17, so the iteration works with the in-core matrix exactly): plain decimal ("0.0001", "150.",
// "99999999.9") when the decimal exponent lies in -4..8, otherwise exponent form ("1.5E+10",
// "1.E-05", "5.E-324"); zero
// is "0." (also a negative zero), infinities are "Infinity" and not-a-number "NaN" (read back as
// such). An integer is a blank and its digits. Values are packed into lines of fewer than 80
// characters, breaking between values; each record starts on a new line and ends with a line end.
//
// The reader takes the file sequentially in large pieces and parses each value where it stands
// in the piece with std::from_chars.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ostrel {

/// The stem of the windowed build's scratch file names.
inline constexpr const char* named_stem = "tmp.osl";

class ScratchFile {
 public:
  /// Opens a new temporary file without a name: it disappears when it is closed or the process
  /// ends, however it ends. On failure it stops the run with " Error create temporary file" on
  /// the console and in the log.
  static ScratchFile create();

  /// Creates the named binary scratch file of the windowed build in `folder` (trailing blanks
  /// dropped; with or without its closing '/'; empty: the current folder): a new file of its
  /// own, "tmp.osl." and six characters that no other file there has, so that two runs sharing
  /// the folder never meet and no file of anyone else is overwritten. It holds the same records
  /// as their values' bytes, so the iteration works with the full precision, and it is deleted
  /// by name when it is closed or destroyed (or when a signal ends the process). On failure it
  /// stops the run (exit status 1) with `failure` (its "tmp.osl" replaced by the name tried)
  /// and the reason on the console and in the log: a folder that does not exist is named.
  static ScratchFile create_named(const std::string& folder, const char* failure);

  /// Size of the pieces in which the file is read: reads of this size cost little beside the
  /// parsing (pieces of 128 KiB to 4 MiB measured alike in bench/bench_it.cpp).
  static constexpr std::size_t default_read_buffer = std::size_t{1} << 20;

  /// Takes over an open read/write stream positioned at its start (create() and tests that
  /// feed prepared text). A null stream gives a closed file. `read_buffer` (more than 128
  /// bytes) is the size of the pieces read at once.
  explicit ScratchFile(std::FILE* f, std::size_t read_buffer = default_read_buffer);
  ScratchFile(ScratchFile&& other) noexcept;
  ScratchFile& operator=(ScratchFile&& other) noexcept;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile();

  /// Appends one record: ama(k,a), k = 1..p, a = 1..nd from column-major storage with leading
  /// dimension ld; blk(k,l), k, l = 1..p with leading dimension ldb; ipvt(1..p). Output is
  /// buffered; a write error stops the run with " Error write temporary file" on the console
  /// and in the log. Cost O(p*(nd+p)) conversions, no allocation beyond the line buffer.
  void write_record(int p, int nd, const double* ama, int ld, const double* blk, int ldb,
                    const int* ipvt);

  /// Makes everything written readable and positions the file at its first record. A write
  /// error found while flushing stops the run as write_record does.
  void rewind();

  /// Reads the next record in the layout of write_record into the same places. Returns false,
  /// leaving the outputs partly filled, on a read error, an early end of the file (the line end
  /// that closes every record included, so a file cut anywhere is found), a value that is not
  /// a number of the expected kind (or longer than 64 characters), anything but blanks after the
  /// record's last value on its line (a record of another size), or a pivot vector that decomp
  /// cannot have written (ipvt(k) outside k..p for k < p, ipvt(p) not +1 or -1); the callers
  /// write their own messages. Cost O(p*(nd+p)) conversions; memory: one piece.
  bool read_record(int p, int nd, double* ama, int ld, double* blk, int ldb, int* ipvt);

  /// Closes and so deletes the file. Further calls do nothing.
  void close();

  bool is_open() const { return f_ != nullptr; }

  /// The name of a named scratch file; empty for one without a name.
  const std::string& name() const { return path_; }

  /// Number of rewind() calls so far: the passes made over the file by its readers.
  long long rewinds() const { return rewinds_; }

  /// The text of one record as write_record writes it (every line ended).
  static std::string format_record(int p, int nd, const double* ama, int ld, const double* blk,
                                   int ldb, const int* ipvt);

  /// The text of one real as it appears in a record, with its two leading characters
  /// (" -1.5", "  0.0001", "  1.E+09").
  static std::string format_real(double v);

 private:
  bool flush_output();
  bool fill();
  bool skip_blanks();
  template <class T>
  bool read_value(T& v);
  bool read_reals(double* out, std::size_t stride, int count);
  bool read_int(int& v);
  bool end_of_record();
  bool read_binary(int p, int nd, double* ama, int ld, double* blk, int ldb, int* ipvt);

  std::FILE* f_ = nullptr;
  std::string out_;             // formatted text not yet handed to the stream
  std::unique_ptr<char[]> in_;  // read buffer: the piece of the file being parsed
  std::size_t pos_ = 0;         // next unread byte of in_
  std::size_t end_ = 0;         // end of the valid bytes of in_
  bool eof_ = false;            // the stream has no more bytes
  bool reading_ = false;        // the stream position belongs to the reader
  std::size_t read_buffer_ = default_read_buffer;
  bool binary_ = false;    // records as bytes (the windowed build's named file)
  std::string path_;       // the name to delete at the end (named files only)
  long long rewinds_ = 0;  // rewind() calls
};

}  // namespace ostrel
