#include "solvers/scratch.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/halt.hpp"
#include "base/signal_cleanup.hpp"

namespace ostrel {

namespace {

// Lines of a record hold fewer than this many characters.
constexpr std::size_t line_limit = 80;
// Most significant digits of a real in the file: the shortest text that reads back as the same
// double has at most 17, so the iteration works with the matrix of the in-core mode.
constexpr int significant_digits = 17;
// Plain decimal form for decimal exponents in this range, exponent form outside it.
constexpr int plain_min_exponent = -4;
constexpr int plain_max_exponent = 8;
// Longest token the reader accepts; the writer's longest is 25 ("-0.00012345678901234567" and
// " -1.2345678901234567E-308" less the blank). Anything longer is not a value of this file.
constexpr std::size_t max_token = 64;
// Amount of pending output that is handed to the stream at once.
constexpr std::size_t write_chunk = std::size_t{1} << 20;

constexpr const char* create_failure = " Error create temporary file";
constexpr const char* write_failure = " Error write temporary file";

[[noreturn]] void halt_file(const char* text) {
  Halt h;
  h.console.push_back(text);
  h.log.push_back(text);
  halt(std::move(h));
}

bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Writes the magnitude text of a real (without the two leading characters) at p, returns the
// end. Needs 24 characters.
char* put_magnitude(char* p, double v) {
  const double m = std::fabs(v);
  if (std::isnan(v)) return std::copy_n("NaN", 3, p);
  if (std::isinf(v)) return std::copy_n("Infinity", 8, p);
  if (m == 0) return std::copy_n("0.", 2, p);
  // The shortest digits that read back as the same double (at most 17), in scientific form
  // "d[.ddd]e+XX" (at least two exponent digits).
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, m, std::chars_format::scientific);
  assert(r.ec == std::errc{});
  const char* ep = std::find(static_cast<const char*>(buf), static_cast<const char*>(r.ptr), 'e');
  char dig[significant_digits];
  std::fill_n(dig, significant_digits, '0');  // the digits of a plain integer part beyond them
  int nd = 0;
  for (const char* c = buf; c < ep; ++c)
    if (*c != '.') dig[nd++] = *c;
  int e = 0;
  std::from_chars(ep + 2, r.ptr, e);
  if (ep[1] == '-') e = -e;
  while (nd > 1 && dig[nd - 1] == '0')
    --nd;
  if (e >= plain_min_exponent && e <= plain_max_exponent) {
    if (e >= 0) {
      p = std::copy_n(dig, e + 1, p);
      *p++ = '.';
      if (nd > e + 1) p = std::copy(dig + e + 1, dig + nd, p);
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int z = 0; z < -e - 1; ++z)
        *p++ = '0';
      p = std::copy_n(dig, nd, p);
    }
    return p;
  }
  *p++ = dig[0];
  *p++ = '.';
  p = std::copy(dig + 1, dig + nd, p);
  *p++ = 'E';
  return std::copy(ep + 1, static_cast<const char*>(r.ptr), p);  // sign, exponent digits
}

// Appends values to lines of fewer than line_limit characters.
class Lines {
 public:
  explicit Lines(std::string& out) : out_(out) {}
  void real(double v) {
    char buf[32];
    buf[0] = ' ';
    // Zero is "0." whatever its sign: a negative zero carries no information for the reader.
    buf[1] = std::signbit(v) && v != 0 && !std::isnan(v) ? '-' : ' ';
    put(buf, put_magnitude(buf + 2, v));
  }
  void integer(int v) {
    char buf[16];
    buf[0] = ' ';
    put(buf, std::to_chars(buf + 1, buf + sizeof buf, v).ptr);
  }
  void end() {
    out_ += '\n';
    len_ = 0;
  }

 private:
  void put(const char* b, const char* e) {
    const auto n = static_cast<std::size_t>(e - b);
    if (len_ > 0 && len_ + n >= line_limit) end();
    out_.append(b, n);
    len_ += n;
  }
  std::string& out_;
  std::size_t len_ = 0;
};

void append_record(std::string& out, int p, int nd, const double* ama, int ld, const double* blk,
                   int ldb, const int* ipvt) {
  assert(p >= 1 && nd >= p && ld >= p && ldb >= p);
  Lines lines(out);
  for (int k = 0; k < p; ++k)
    for (int a = 0; a < nd; ++a)
      lines.real(ama[k + static_cast<std::size_t>(a) * ld]);
  for (int k = 0; k < p; ++k)
    for (int l = 0; l < p; ++l)
      lines.real(blk[k + static_cast<std::size_t>(l) * ldb]);
  for (int k = 0; k < p; ++k)
    lines.integer(ipvt[k]);
  lines.end();
}

}  // namespace

ScratchFile ScratchFile::create() {
  std::FILE* f = std::tmpfile();
  if (!f) halt_file(create_failure);
  return ScratchFile(f);
}

ScratchFile ScratchFile::create_named(const std::string& folder, const char* failure) {
  std::string dir = folder;
  dir.erase(dir.find_last_not_of(' ') + 1);
  // "sub" and "sub/" are the same folder.
  const std::string stem = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + named_stem;
  std::vector<char> name(stem.begin(), stem.end());
  const std::string unique = ".XXXXXX";
  name.insert(name.end(), unique.begin(), unique.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  std::FILE* f = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
  if (!f) {
    const std::string why = std::strerror(errno);
    if (fd >= 0) {
      ::close(fd);
      unlink(name.data());
    }
    std::error_code ec;
    std::string text = failure;
    const auto at = text.find(named_stem);
    if (at != std::string::npos) text.replace(at, std::strlen(named_stem), stem);
    Halt h;
    h.console = h.log = {text, !dir.empty() && !std::filesystem::is_directory(dir, ec)
                                   ? " the scratch folder '" + dir + "' does not exist"
                                   : " " + why};
    halt(std::move(h));
  }
  ScratchFile file(f);
  file.binary_ = true;
  file.path_ = name.data();
  remove_on_signal(file.path_);
  return file;
}

ScratchFile::ScratchFile(std::FILE* f, std::size_t read_buffer) : f_(f), read_buffer_(read_buffer) {
  assert(read_buffer > 2 * max_token);
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : f_(std::exchange(other.f_, nullptr)),
      out_(std::move(other.out_)),
      in_(std::move(other.in_)),
      pos_(other.pos_),
      end_(other.end_),
      eof_(other.eof_),
      reading_(other.reading_),
      read_buffer_(other.read_buffer_),
      binary_(other.binary_),
      path_(std::exchange(other.path_, {})),
      rewinds_(other.rewinds_) {}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
  if (this != &other) {
    close();
    f_ = std::exchange(other.f_, nullptr);
    binary_ = other.binary_;
    path_ = std::exchange(other.path_, {});
    out_ = std::move(other.out_);
    in_ = std::move(other.in_);
    pos_ = other.pos_;
    end_ = other.end_;
    eof_ = other.eof_;
    reading_ = other.reading_;
    read_buffer_ = other.read_buffer_;
    rewinds_ = other.rewinds_;
  }
  return *this;
}

ScratchFile::~ScratchFile() {
  close();
}

std::string ScratchFile::format_real(double v) {
  std::string s;
  Lines(s).real(v);
  return s;
}

std::string ScratchFile::format_record(int p, int nd, const double* ama, int ld, const double* blk,
                                       int ldb, const int* ipvt) {
  std::string s;
  append_record(s, p, nd, ama, ld, blk, ldb, ipvt);
  return s;
}

bool ScratchFile::flush_output() {
  if (out_.empty()) return true;
  const bool ok = std::fwrite(out_.data(), 1, out_.size(), f_) == out_.size();
  out_.clear();
  return ok;
}

void ScratchFile::write_record(int p, int nd, const double* ama, int ld, const double* blk, int ldb,
                               const int* ipvt) {
  assert(f_);
  if (reading_) {
    // Records are only ever appended.
    if (std::fseek(f_, 0, SEEK_END) != 0) halt_file(write_failure);
    reading_ = false;
    pos_ = end_ = 0;
    eof_ = false;
  }
  if (binary_) {
    // The values' bytes in the order of the text records: full precision, no conversion.
    const auto put = [&](const auto& v) {
      out_.append(reinterpret_cast<const char*>(&v), sizeof v);
    };
    for (int k = 0; k < p; ++k)
      for (int a = 0; a < nd; ++a)
        put(ama[k + static_cast<std::size_t>(a) * ld]);
    for (int k = 0; k < p; ++k)
      for (int l = 0; l < p; ++l)
        put(blk[k + static_cast<std::size_t>(l) * ldb]);
    for (int k = 0; k < p; ++k)
      put(ipvt[k]);
  } else {
    append_record(out_, p, nd, ama, ld, blk, ldb, ipvt);
  }
  if (out_.size() >= write_chunk && !flush_output()) halt_file(write_failure);
}

void ScratchFile::rewind() {
  assert(f_);
  if (!reading_ && (!flush_output() || std::fflush(f_) != 0)) halt_file(write_failure);
  if (std::fseek(f_, 0, SEEK_SET) != 0) halt_file(write_failure);
  std::clearerr(f_);
  reading_ = true;
  pos_ = end_ = 0;
  eof_ = false;
  ++rewinds_;
}

void ScratchFile::close() {
  if (f_) std::fclose(f_);
  if (f_ && !path_.empty()) {
    std::remove(path_.c_str());
    keep_on_signal(path_);
  }
  f_ = nullptr;
  out_.clear();
  out_.shrink_to_fit();
  in_.reset();
  pos_ = end_ = 0;
}

// Moves the unread bytes of the current piece (at most a token's worth) to the front of the
// buffer and reads the next piece after them. False on a read error; sets eof_ when the stream
// has no more bytes.
bool ScratchFile::fill() {
  if (!in_) in_ = std::make_unique_for_overwrite<char[]>(read_buffer_);
  const std::size_t rest = end_ - pos_;
  if (rest > 0 && pos_ > 0) std::memmove(in_.get(), in_.get() + pos_, rest);
  pos_ = 0;
  end_ = rest;
  const std::size_t got = std::fread(in_.get() + end_, 1, read_buffer_ - end_, f_);
  end_ += got;
  if (got == 0) {
    if (std::ferror(f_)) return false;
    eof_ = true;
  }
  return true;
}

bool ScratchFile::skip_blanks() {
  for (;;) {
    while (pos_ < end_ && is_space(in_[pos_]))
      ++pos_;
    if (pos_ < end_) return true;
    if (eof_ || !fill()) return false;
  }
}

// Parses the value that starts at the next non-blank byte where it stands in the buffer. It is
// taken when the parse ends at a blank, or at the end of the file. When the value may go on
// beyond the buffered bytes (the parse, or the token, reaches their end), more are read and it
// is parsed again; so a token is never judged by a part of it.
template <class T>
bool ScratchFile::read_value(T& v) {
  if (!skip_blanks()) return false;
  for (;;) {
    const char* b = in_.get() + pos_;
    const char* e = in_.get() + end_;
    const auto r = std::from_chars(b, e, v);
    const auto len = static_cast<std::size_t>(r.ptr - b);
    const bool ended = r.ptr < e ? is_space(*r.ptr) : eof_;
    if (ended && r.ec == std::errc{} && len <= max_token) {
      pos_ += len;
      return true;
    }
    if (eof_ || std::find_if(r.ptr, e, is_space) < e) return false;  // the whole token is here
    if (end_ - pos_ > max_token || !fill()) return false;
  }
}

// Reads `count` reals into out[0], out[stride], ... The values that stand whole in the buffer,
// followed by a blank, are parsed in a loop of its own; any other goes through read_value.
bool ScratchFile::read_reals(double* out, std::size_t stride, int count) {
  const char* p = in_.get() + pos_;
  const char* e = in_.get() + end_;
  for (int i = 0; i < count; ++i, out += stride) {
    while (p < e && is_space(*p))
      ++p;
    const auto r = std::from_chars(p, e, *out);
    if (r.ec == std::errc{} && r.ptr < e && is_space(*r.ptr) &&
        static_cast<std::size_t>(r.ptr - p) <= max_token) {
      p = r.ptr;
      continue;
    }
    pos_ = static_cast<std::size_t>(p - in_.get());
    if (!read_value(*out)) return false;
    p = in_.get() + pos_;
    e = in_.get() + end_;
  }
  pos_ = static_cast<std::size_t>(p - in_.get());
  return true;
}

bool ScratchFile::read_int(int& v) {
  return read_value(v);
}

bool ScratchFile::end_of_record() {
  for (;;) {
    while (pos_ < end_) {
      const char c = in_[pos_++];
      if (c == '\n') return true;
      if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    if (eof_ || !fill()) return false;
  }
}

bool ScratchFile::read_record(int p, int nd, double* ama, int ld, double* blk, int ldb, int* ipvt) {
  assert(p >= 1 && nd >= p && ld >= p && ldb >= p);
  if (!f_) return false;
  if (!reading_) {
    // Reading without a rewind starts where the writer stopped: at the end.
    if (!flush_output() || std::fflush(f_) != 0) return false;
    reading_ = true;
    pos_ = end_ = 0;
    eof_ = false;
  }
  if (binary_) {
    if (!read_binary(p, nd, ama, ld, blk, ldb, ipvt)) return false;
  } else {
    for (int k = 0; k < p; ++k)
      if (!read_reals(ama + k, ld, nd)) return false;
    for (int k = 0; k < p; ++k)
      if (!read_reals(blk + k, ldb, p)) return false;
    for (int k = 0; k < p; ++k)
      if (!read_int(ipvt[k])) return false;
  }
  // Only a pivot vector that decomp can have written may reach solve.
  for (int k = 1; k < p; ++k)
    if (ipvt[k - 1] < k || ipvt[k - 1] > p) return false;
  if (ipvt[p - 1] != 1 && ipvt[p - 1] != -1) return false;
  return binary_ || end_of_record();
}

// A record of the binary file, row by row as written.
bool ScratchFile::read_binary(int p, int nd, double* ama, int ld, double* blk, int ldb, int* ipvt) {
  std::vector<double> row(static_cast<std::size_t>(nd));
  for (int k = 0; k < p; ++k) {
    if (std::fread(row.data(), sizeof(double), row.size(), f_) != row.size()) return false;
    for (int a = 0; a < nd; ++a)
      ama[k + static_cast<std::size_t>(a) * ld] = row[a];
  }
  for (int k = 0; k < p; ++k) {
    if (std::fread(row.data(), sizeof(double), p, f_) != static_cast<std::size_t>(p)) return false;
    for (int l = 0; l < p; ++l)
      blk[k + static_cast<std::size_t>(l) * ldb] = row[l];
  }
  return std::fread(ipvt, sizeof(int), p, f_) == static_cast<std::size_t>(p);
}

}  // namespace ostrel
