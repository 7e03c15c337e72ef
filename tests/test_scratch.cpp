// The scratch file format (hand-written lines, round trips, damaged files) and the work arrays.
#include <gtest/gtest.h>
#include <algorithm>

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "solvers/scratch.hpp"
#include "solvers/storage.hpp"

namespace ostrel {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double nan_value = std::nan("");

// A scratch file holding the given text, positioned at its start, read in pieces of `piece`.
ScratchFile with_text(const std::string& text,
                      std::size_t piece = ScratchFile::default_read_buffer) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  ScratchFile s(f, piece);
  s.rewind();
  return s;
}

// The value a reader must get back for the text of v: the nearest double to its decimal text.
double decimal_value(double v) {
  const std::string t = ScratchFile::format_real(v);
  return std::strtod(t.c_str(), nullptr);
}

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

TEST(ScratchFormat, RealsAsWrittenByHand) {
  const struct {
    double v;
    const char* text;
  } cases[] = {
      {0.0, "  0."},
      {-0.0, "  0."},
      {1.0, "  1."},
      {-1.5, " -1.5"},
      {150.0, "  150."},
      {123.456, "  123.456"},
      {0.1, "  0.1"},
      {1.0 / 3.0, "  0.3333333333333333"},  // the shortest text that reads back the same
      {-2.0 / 3.0, " -0.6666666666666666"},
      // The plain form reaches down to exponent -4 ...
      {1e-4, "  0.0001"},
      {-1.2345e-4, " -0.00012345"},
      // ... and no further.
      {9.999999996e-5, "  9.999999996E-05"},
      {1e-5, "  1.E-05"},
      {1.5e-5, "  1.5E-05"},
      // Up to exponent 8.
      {99999999.9, "  99999999.9"},
      {1e8, "  100000000."},
      {12345678.96, "  12345678.96"},
      {999999999.4, "  999999999.4"},
      {1e9, "  1.E+09"},
      {-123456789012.0, " -1.23456789012E+11"},
      {1e100, "  1.E+100"},
      {-2.5e-100, " -2.5E-100"},
      {std::numeric_limits<double>::max(), "  1.7976931348623157E+308"},
      {std::numeric_limits<double>::denorm_min(), "  5.E-324"},
      {nan_value, "  NaN"},
      {-nan_value, "  NaN"},
      {inf, "  Infinity"},
      {-inf, " -Infinity"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScratchFile::format_real(c.v), c.text) << c.v;
    // The reader gets back the value of the text.
    const int ipvt = 1;
    const std::string rec = ScratchFile::format_record(1, 1, &c.v, 1, &c.v, 1, &ipvt);
    ScratchFile f = with_text(rec);
    double a = 7, b = 7;
    int p = 0;
    ASSERT_TRUE(f.read_record(1, 1, &a, 1, &b, 1, &p)) << rec;
    EXPECT_TRUE(same(a, std::strtod(c.text, nullptr))) << c.text;
    EXPECT_TRUE(same(b, a));
    EXPECT_EQ(p, 1);
  }
}

TEST(ScratchFormat, RecordLayoutAndLineBreaks) {
  // Two rows of three unknowns stored with leading dimension 4 (row 3 is not part of it), a
  // 2 x 2 factor block with leading dimension 3, two pivots.
  const double ama[] = {1, 1e-5, 99, 99, -2.5, 3e10, 99, 99, 0, -0.125, 99, 99};
  const double blk[] = {4, -0.25, 99, 0.5, 8, 99};
  const int ipvt[] = {2, -1};
  EXPECT_EQ(ScratchFile::format_record(2, 3, ama, 4, blk, 3, ipvt),
            "  1. -2.5  0.  1.E-05  3.E+10 -0.125  4.  0.5 -0.25  8. 2 -1\n");

  // Lines hold fewer than 80 characters: four values of 16 and one of 15 make 79 and stay
  // together; the next value starts a new line.
  const double row[] = {-1.23456789e10,
                        -1.23456789e10,
                        -1.23456789e10,
                        -1.23456789e10,
                        -1.2345678e10,
                        1.5,
                        2.5,
                        3.5,
                        4.5,
                        5.5};
  const double two = 2.0;
  const int one = 1;
  const std::string a(" -1.23456789E+10");
  EXPECT_EQ(ScratchFile::format_record(1, 10, row, 1, &two, 1, &one),
            a + a + a + a + " -1.2345678E+10\n  1.5  2.5  3.5  4.5  5.5  2. 1\n");
  // Five values of 16 would make 80: the fifth goes to the next line.
  const double five[] = {-1.23456789e10, -1.23456789e10, -1.23456789e10, -1.23456789e10,
                         -1.23456789e10};
  EXPECT_EQ(ScratchFile::format_record(1, 5, five, 1, &two, 1, &one),
            a + a + a + a + "\n" + a + "  2. 1\n");
}

// A record of an element with a single row: nd + 1 reals and one integer.
TEST(ScratchFormat, SingleRowRecord) {
  const double ama[] = {0.5, -0.5, 0.25};
  const double blk = 0.5;
  const int ipvt = 1;
  EXPECT_EQ(ScratchFile::format_record(1, 3, ama, 1, &blk, 1, &ipvt), "  0.5 -0.5  0.25  0.5 1\n");
}

struct Record {
  int p = 0, nd = 0, ld = 0, ldb = 0;
  std::vector<double> ama, blk;
  std::vector<int> ipvt;
};

Record random_record(std::mt19937_64& g, int nd) {
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-320, 308);
  const double special[] = {0.0,
                            -0.0,
                            inf,
                            -inf,
                            nan_value,
                            1e-4,
                            9.999999996e-5,
                            1e-5,
                            1e9,
                            999999999.6,
                            99999999.9,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max()};
  Record r;
  r.p = 1 + static_cast<int>(g() % std::min(7, nd));  // a block row has at least p columns
  r.nd = nd;
  r.ld = r.p + static_cast<int>(g() % 3);
  r.ldb = r.p + static_cast<int>(g() % 2);
  const auto value = [&]() {
    const auto kind = g() % 10;
    if (kind == 0) return special[g() % 13];
    if (kind < 4) return std::ldexp(mant(g), static_cast<int>(g() % 60) - 30);
    return mant(g) * std::pow(10.0, expo(g));
  };
  r.ama.resize(static_cast<std::size_t>(r.ld) * nd);
  r.blk.resize(static_cast<std::size_t>(r.ldb) * r.p);
  for (double& v : r.ama)
    v = value();
  for (double& v : r.blk)
    v = value();
  for (int k = 1; k <= r.p; ++k)
    r.ipvt.push_back(k + static_cast<int>(g() % (r.p - k + 1)));
  r.ipvt.back() = g() % 2 ? 1 : -1;
  return r;
}

// Every record reads back as the values of its text, in place, and formats again to the same
// text, and the values are those written.
TEST(ScratchFile, RoundTripsEveryRecordAsWritten) {
  std::mt19937_64 g(42);
  const int nd = 23;
  std::vector<Record> recs;
  for (int i = 0; i < 40; ++i)
    recs.push_back(random_record(g, nd));
  ScratchFile f = ScratchFile::create();
  for (const Record& r : recs)
    f.write_record(r.p, nd, r.ama.data(), r.ld, r.blk.data(), r.ldb, r.ipvt.data());
  for (int pass = 0; pass < 2; ++pass) {
    f.rewind();
    for (const Record& r : recs) {
      std::vector<double> ama(r.ama.size(), 12345.0), blk(r.blk.size(), 12345.0);
      std::vector<int> ipvt(r.p, 0);
      ASSERT_TRUE(f.read_record(r.p, nd, ama.data(), r.ld, blk.data(), r.ldb, ipvt.data()));
      for (int k = 0; k < r.ld; ++k)
        for (int a = 0; a < nd; ++a) {
          const std::size_t at = k + static_cast<std::size_t>(a) * r.ld;
          if (k >= r.p) {
            EXPECT_EQ(ama[at], 12345.0);  // rows beyond p are not touched
            continue;
          }
          const double v = r.ama[at];
          ASSERT_TRUE(same(ama[at], decimal_value(v))) << v;
          EXPECT_EQ(ScratchFile::format_real(ama[at]), ScratchFile::format_real(v));
          if (std::isfinite(v) && std::fabs(v) >= std::numeric_limits<double>::min()) {
            EXPECT_LE(std::fabs(ama[at] - v), 5.0000001e-9 * std::fabs(v));
          }
        }
      for (int k = 0; k < r.p; ++k)
        for (int l = 0; l < r.p; ++l) {
          const std::size_t at = k + static_cast<std::size_t>(l) * r.ldb;
          ASSERT_TRUE(same(blk[at], decimal_value(r.blk[at])));
        }
      EXPECT_EQ(ipvt, r.ipvt);
    }
    double x;
    int p;
    EXPECT_FALSE(f.read_record(1, 1, &x, 1, &x, 1, &p));  // nothing after the last record
  }
}

// A file cut anywhere fails the record that reaches the cut, and only that one.
TEST(ScratchFile, TruncatedFileFailsTheRecordThatReachesTheCut) {
  std::mt19937_64 g(3);
  const Record r1 = random_record(g, 4), r2 = random_record(g, 4);
  const std::string t1 = ScratchFile::format_record(r1.p, 4, r1.ama.data(), r1.ld, r1.blk.data(),
                                                    r1.ldb, r1.ipvt.data());
  const std::string t2 = ScratchFile::format_record(r2.p, 4, r2.ama.data(), r2.ld, r2.blk.data(),
                                                    r2.ldb, r2.ipvt.data());
  const std::string text = t1 + t2;
  for (std::size_t cut = 0; cut < text.size(); ++cut) {
    ScratchFile f = with_text(text.substr(0, cut));
    std::vector<double> ama(r1.ama.size() + r2.ama.size()), blk(100);
    std::vector<int> ipvt(10);
    const bool first = f.read_record(r1.p, 4, ama.data(), r1.ld, blk.data(), r1.ldb, ipvt.data());
    EXPECT_EQ(first, cut >= t1.size()) << cut;
    if (first) {
      EXPECT_FALSE(f.read_record(r2.p, 4, ama.data(), r2.ld, blk.data(), r2.ldb, ipvt.data()));
    }
  }
}

TEST(ScratchFile, GarbageIsRefused) {
  const auto reads = [](const std::string& text, int p = 1, int nd = 2) {
    ScratchFile f = with_text(text);
    std::vector<double> ama(p * nd), blk(p * p);
    std::vector<int> ipvt(p);
    return f.read_record(p, nd, ama.data(), p, blk.data(), p, ipvt.data());
  };
  EXPECT_TRUE(reads("  1. -2.  3. 1\n"));
  EXPECT_TRUE(reads("1.\n-2.\n\n 3.   1  \r\n"));  // line breaks carry no meaning
  EXPECT_FALSE(reads(""));
  EXPECT_FALSE(reads("  1. -2.  3. 1"));        // the closing line end is missing
  EXPECT_FALSE(reads("  1. -2.  3. 1  4.\n"));  // more on the record's last line
  EXPECT_FALSE(reads("  abc -2.  3. 1\n"));
  EXPECT_FALSE(reads("  1.5.5 -2.  3. 1\n"));
  EXPECT_FALSE(reads("  --1. -2.  3. 1\n"));
  EXPECT_FALSE(reads("  +1. -2.  3. 1\n"));
  EXPECT_FALSE(reads("  1,5 -2.  3. 1\n"));
  EXPECT_FALSE(reads("  0x10 -2.  3. 1\n"));
  EXPECT_FALSE(reads("  1E+999 -2.  3. 1\n"));  // out of range
  EXPECT_FALSE(reads("  1. -2.  3. 1.5\n"));    // a pivot must be an integer
  EXPECT_FALSE(reads("  1. -2.  3. 99999999999\n"));
  EXPECT_FALSE(reads("  1. -2.  3. 0\n"));  // the last pivot is the sign: +1 or -1
  EXPECT_FALSE(reads(std::string("  1. -2.\0  3. 1\n", 16)));
  // Pivots of a 2-row record: ipvt(1) in 1..2, ipvt(2) = +-1.
  EXPECT_TRUE(reads(" 1. 2. 3. 4. 5. 6. 7. 8. 2 -1\n", 2, 2));
  EXPECT_FALSE(reads(" 1. 2. 3. 4. 5. 6. 7. 8. 3 -1\n", 2, 2));
  EXPECT_FALSE(reads(" 1. 2. 3. 4. 5. 6. 7. 8. 0 1\n", 2, 2));
  // Pivots of a 4-row record: ipvt(k) in k..4 for every k < 4, not only the first.
  const std::string values4 = [] {
    std::string v;
    for (int i = 0; i < 4 * 4 + 4 * 4; ++i)
      v += " 1.";
    return v;
  }();
  EXPECT_TRUE(reads(values4 + " 4 2 3 1\n", 4, 4));
  EXPECT_TRUE(reads(values4 + " 1 4 4 -1\n", 4, 4));
  EXPECT_FALSE(reads(values4 + " 4 1 3 1\n", 4, 4));  // ipvt(2) below 2
  EXPECT_FALSE(reads(values4 + " 4 2 2 1\n", 4, 4));  // ipvt(3) below 3
  EXPECT_FALSE(reads(values4 + " 4 2 5 1\n", 4, 4));  // ipvt(3) beyond the order
  EXPECT_FALSE(reads(values4 + " 4 2 3 2\n", 4, 4));  // the sign is not +-1
  // A token longer than any value of the file, even a valid number, is refused without being
  // read whole.
  EXPECT_TRUE(reads("  " + std::string(60, '1') + " -2.  3. 1\n"));
  EXPECT_FALSE(reads("  " + std::string(100, '1') + " -2.  3. 1\n"));
  EXPECT_FALSE(reads(std::string(20'000'000, '7') + "\n"));
}

// The file is read in pieces: a value cut by the end of a piece is read whole, and a bad token
// is refused wherever the cut falls. Pieces of 129 to 208 bytes put the cut at every column of
// the 80-column lines.
TEST(ScratchFile, ValuesCutByTheEndOfAPieceAreReadWhole) {
  std::mt19937_64 g(5);
  const int nd = 23;
  std::vector<Record> recs;
  std::string text;
  for (int i = 0; i < 4; ++i) {
    recs.push_back(random_record(g, nd));
    const Record& r = recs.back();
    text +=
        ScratchFile::format_record(r.p, nd, r.ama.data(), r.ld, r.blk.data(), r.ldb, r.ipvt.data());
  }
  for (std::size_t piece = 129; piece < 209; ++piece) {
    ScratchFile f = with_text(text, piece);
    for (const Record& r : recs) {
      std::vector<double> ama(r.ama.size()), blk(r.blk.size());
      std::vector<int> ipvt(r.p);
      ASSERT_TRUE(f.read_record(r.p, nd, ama.data(), r.ld, blk.data(), r.ldb, ipvt.data()))
          << piece;
      for (int k = 0; k < r.p; ++k)
        for (int a = 0; a < nd; ++a) {
          const std::size_t at = k + static_cast<std::size_t>(a) * r.ld;
          ASSERT_TRUE(same(ama[at], decimal_value(r.ama[at]))) << piece;
        }
      EXPECT_EQ(ipvt, r.ipvt);
    }
  }
  const auto reads = [](const std::string& token, std::size_t lead, double& v) {
    ScratchFile f = with_text(std::string(lead, ' ') + token + " -2.  3. 1\n", 129);
    double ama[2], blk;
    int ipvt;
    const bool ok = f.read_record(1, 2, ama, 1, &blk, 1, &ipvt);
    v = ama[0];
    return ok;
  };
  for (std::size_t lead = 110; lead < 135; ++lead) {
    double v = 0;
    for (const char* bad : {"1.5.5", "-", "1E", "1.E-", "1E+999", "--1.", "1.E-05x", "1,5"})
      EXPECT_FALSE(reads(bad, lead, v)) << bad << " after " << lead;
    EXPECT_TRUE(reads("-1.23456789E-05", lead, v));
    EXPECT_EQ(v, -1.23456789e-05) << lead;
    EXPECT_TRUE(reads("123456.789", lead, v));
    EXPECT_EQ(v, 123456.789) << lead;
  }
}

// Random bytes never crash the reader or make it read beyond its buffer.
TEST(ScratchFile, RandomBytesAreHandled) {
  std::mt19937_64 g(9);
  const std::string alphabet = "0123456789 .-+eE\nNaInfity\t\r";
  int accepted = 0;
  for (int i = 0; i < 400; ++i) {
    std::string text(g() % 300, ' ');
    for (char& c : text)
      c = g() % 4 ? alphabet[g() % alphabet.size()] : static_cast<char>(g());
    ScratchFile f = with_text(text);
    std::vector<double> ama(6), blk(4);
    std::vector<int> ipvt(2);
    accepted += f.read_record(2, 3, ama.data(), 2, blk.data(), 2, ipvt.data());
  }
  EXPECT_LT(accepted, 400);
}

// The file has no name from the start and is gone once closed.
TEST(ScratchFile, HasNoNameAndIsRemovedOnClose) {
  const auto open_files = [] {
    std::set<std::string> links;
    DIR* d = opendir("/proc/self/fd");
    while (dirent* e = readdir(d)) {
      char target[4096];
      const std::string path = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t len = readlink(path.c_str(), target, sizeof target - 1);
      if (len > 0) links.insert(std::string(target, len) + "@" + e->d_name);
    }
    closedir(d);
    return links;
  };
  const auto before = open_files();
  ScratchFile f = ScratchFile::create();
  const auto during = open_files();
  int new_files = 0;
  for (const auto& l : during) {
    if (before.count(l) || l.find("/proc/") != std::string::npos) continue;
    ++new_files;
    EXPECT_NE(l.find("(deleted)"), std::string::npos) << l;
  }
  EXPECT_EQ(new_files, 1);
  f.close();
  EXPECT_FALSE(f.is_open());
  f.close();  // harmless
  int left = 0;
  for (const auto& l : open_files())
    left += !before.count(l) && l.find("/proc/") == std::string::npos;
  EXPECT_EQ(left, 0);
}

Halt halt_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Halt& h) {
    return h;
  }
  ADD_FAILURE() << "no halt";
  return {};
}

TEST(Storage, ForallocGivesZeroedBlocksAndForfreeNulls) {
  Handle h;
  foralloc(h, 8, 1000);
  ASSERT_NE(h.p, nullptr);
  const auto* bytes = static_cast<const unsigned char*>(h.p);
  int nonzero = 0;
  for (int i = 0; i < 8000; ++i)
    nonzero += bytes[i] != 0;
  EXPECT_EQ(nonzero, 0);
  forfree(h);
  EXPECT_EQ(h.p, nullptr);
  forfree(h);  // a null handle is fine
  foralloc(h, 8, 0);
  EXPECT_NE(h.p, nullptr);  // null means failure, never an empty block
  forfree(h);
}

// A failed request names the element count of that request and the element size, on the
// console only, with exit status 1.
TEST(Storage, FailedRequestStopsWithCountAndSize) {
  const auto check = [](long long count, const std::string& line) {
    Handle h;
    const Halt s = halt_of([&] { foralloc(h, 8, count); });
    EXPECT_EQ(s.console, std::vector<std::string>{line});
    EXPECT_TRUE(s.log.empty());
    EXPECT_TRUE(s.stop_text.empty());
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(h.p, nullptr);
  };
  check(LLONG_MAX, " Can not allocate 9223372036854775807 elements of 8 bytes long");  // overflow
  check(1LL << 60, " Can not allocate 1152921504606846976 elements of 8 bytes long");  // 8 EiB
  check(-5, " Can not allocate -5 elements of 8 bytes long");
}

TEST(Storage, FurtherStopsOnTheFirstFailedArray) {
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  Problem pb;
  SolverControls ctl;
  // ge of 2^31-1 squared elements cannot be had: the in-core line is never reached.
  Dimensions dims{1, INT_MAX, 10, 10};
  const Halt s = halt_of([&] { further(pb, dims, ctl, io); });
  EXPECT_EQ(s.console, std::vector<std::string>{
                           " Can not allocate 4611686014132420609 elements of 8 bytes long"});
  EXPECT_EQ(console.str(), "");
  // Out-of-core: the mode lines come first, then the block row cannot be had.
  ctl.iswitch = 1;
  dims = Dimensions{1, 1, 10, 1 << 30};
  const Halt t = halt_of([&] { further(pb, dims, ctl, io); });
  ASSERT_EQ(t.console.size(), 1u);
  EXPECT_EQ(t.console[0].rfind(" Can not allocate ", 0), 0u);
  EXPECT_EQ(console.str(), "Out-of-core solver applied;\n");
  EXPECT_EQ(log.str(),
            "Block out-of-core solver with default parameters applied;\n"
            " imm=40 is more than the 10 unknowns: the iteration uses imm=10\n");
}

}  // namespace
}  // namespace ostrel
