#include "base/freeformat.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>

#include "base/halt.hpp"

namespace ostrel {

namespace {

constexpr int eof = std::char_traits<char>::eof();

bool is_blank(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool is_delimiter(int c) {
  return c == eof || c == '\n' || c == ',' || c == '/' || is_blank(c);
}

bool is_digits(const std::string& s, std::size_t from, std::size_t to) {
  if (from >= to) return false;
  for (std::size_t i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// Whole number with an optional sign, within the range of a 32-bit integer.
bool parse_int(const std::string& s, int& v) {
  std::size_t start = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (!is_digits(s, start, s.size())) return false;
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  auto [p, ec] = std::from_chars(first, s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size();
}

// Real in fixed or exponent form (E or D), or a whole number; also the words inf, infinity and
// nan, so that a non-finite value reaches the checks of the reading instead of a read error.
bool parse_real(const std::string& s, double& v) {
  std::string t;
  t.reserve(s.size());
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::string rest = s.substr(i);
  std::string lower;
  for (char ch : rest)
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower == "inf" || lower == "infinity") {
    v = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  if (lower == "nan") {
    v = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  // mantissa: digits [. digits] with at least one digit
  std::size_t j = 0, digits = 0;
  while (j < rest.size() && std::isdigit(static_cast<unsigned char>(rest[j])))
    ++j, ++digits;
  if (j < rest.size() && rest[j] == '.') {
    ++j;
    while (j < rest.size() && std::isdigit(static_cast<unsigned char>(rest[j])))
      ++j, ++digits;
  }
  if (digits == 0) return false;
  t = rest.substr(0, j);
  if (j < rest.size()) {
    char e = static_cast<char>(std::tolower(static_cast<unsigned char>(rest[j])));
    if (e != 'e' && e != 'd') return false;
    ++j;
    std::size_t k = j;
    if (k < rest.size() && (rest[k] == '+' || rest[k] == '-')) ++k;
    if (!is_digits(rest, k, rest.size())) return false;
    t += 'e';
    t += rest.substr(j);
  }
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (p != t.data() + t.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves v unchanged on range errors: overflow is infinite, underflow is zero.
    v = std::strtod(t.c_str(), nullptr);
  } else if (ec != std::errc()) {
    return false;
  }
  if (negative) v = -v;
  return true;
}

}  // namespace

ListReader::ListReader(std::istream& in, std::string name)
    : buf_(in.rdbuf()), name_(std::move(name)) {}

// The stream buffer of a file reports a failed read (a directory, an I/O error) by throwing:
// that becomes the platform error report naming the file and the line.
int ListReader::peek() {
  if (!buf_) return eof;
  try {
    return buf_->sgetc();
  } catch (const std::exception& e) {
    fail(std::string("read error (") + e.what() + ")");
  }
}

void ListReader::bump() {
  if (!buf_) return;
  int c = eof;
  try {
    c = buf_->sbumpc();
  } catch (const std::exception& e) {
    fail(std::string("read error (") + e.what() + ")");
  }
  if (c == '\n') ++line_;
}

void ListReader::skip_rest_of_line() {
  for (int c = peek(); c != eof; c = peek()) {
    bump();
    if (c == '\n') return;
  }
}

void ListReader::fail(const std::string& what) const {
  Halt h;
  h.error.push_back("ostrel: input file \"" + name_ + "\", line " + std::to_string(line_ + 1) +
                    ": " + what);
  h.status = exit_io_error;
  halt(std::move(h));
}

bool ListReader::read_line(std::string& text, std::size_t keep) {
  if (peek() == eof) return false;
  text.clear();
  for (int c = peek(); c != eof && c != '\n'; c = peek()) {
    if (text.size() < keep && c != '\r') text += static_cast<char>(c);
    bump();
  }
  if (peek() == '\n') bump();
  if (text.size() < keep) text.append(keep - text.size(), ' ');
  return true;
}

bool ListReader::skip_line() {
  if (peek() == eof) return false;
  skip_rest_of_line();
  return true;
}

bool ListReader::read_token(std::string& token) {
  token.clear();
  int c = peek();
  if (c == '\'' || c == '"') {
    // Quoted text: up to the closing quote on the same line; a doubled quote stands for one.
    const int quote = c;
    bump();
    for (;;) {
      c = peek();
      if (c == eof || c == '\n') fail("unterminated quoted text");
      bump();
      if (c == quote) {
        if (peek() != quote) break;
        bump();
      }
      if (token.size() >= max_token_length) fail("text longer than 4096 characters");
      token += static_cast<char>(c);
    }
    if (!is_delimiter(peek())) fail("unexpected character after quoted text");
    return true;
  }
  for (c = peek(); !is_delimiter(c); c = peek()) {
    if (token.size() >= max_token_length) fail("value longer than 4096 characters");
    token += static_cast<char>(c);
    bump();
  }
  return false;
}

void ListReader::assign(const Item& item, const std::string& value) {
  if (auto p = std::get_if<int*>(&item)) {
    if (!parse_int(value, **p)) fail("bad integer \"" + value + "\"");
  } else if (auto p = std::get_if<double*>(&item)) {
    if (!parse_real(value, **p)) fail("bad real number \"" + value + "\"");
  } else {
    *std::get<std::string*>(item) = value;
  }
}

bool ListReader::read_group(std::initializer_list<Item> items) {
  if (items.size() == 0) return skip_line();
  auto next = items.begin();
  bool expecting = true;  // at the group's start or after a comma: a comma now means "unchanged"
  std::string token;
  while (next != items.end()) {
    int c = peek();
    while (is_blank(c) || c == '\n') {
      bump();
      c = peek();
    }
    if (c == eof) return false;
    if (c == ',') {
      bump();
      if (expecting) ++next;
      expecting = true;
      continue;
    }
    if (c == '/') {
      bump();
      skip_rest_of_line();
      return true;
    }
    const bool quoted = read_token(token);
    long repeat = 1;
    std::string value = token;
    bool null_value = false;
    if (!quoted) {
      auto star = token.find('*');
      if (star != std::string::npos && is_digits(token, 0, star)) {
        int r = 0;
        if (!parse_int(token.substr(0, star), r) || r < 1)
          fail("bad repeat count \"" + token + "\"");
        repeat = r;
        value = token.substr(star + 1);
        null_value = value.empty();
        if (!null_value && (value[0] == '\'' || value[0] == '"'))
          fail("quoted text after a repeat count is not supported");
      }
    }
    for (long r = 0; r < repeat && next != items.end(); ++r, ++next)
      if (!null_value) assign(*next, value);
    expecting = false;
    // The separator after a value: blanks, then at most one comma.
    for (c = peek(); is_blank(c); c = peek())
      bump();
    if (c == ',') {
      bump();
      expecting = true;
    }
  }
  skip_rest_of_line();
  return true;
}

}  // namespace ostrel
