#include "base/fields.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace ostrel {

namespace {

// Right-aligns `s` in `w` columns, or asterisks when it does not fit.
std::string fit(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(w - s.size(), ' ') + s;
}

// Text of a value that is not finite, as Fortran runtimes write it.
std::string non_finite(double v, int w) {
  if (std::isnan(v)) return fit("NaN", w);
  if (v > 0) return fit(w >= 8 ? "Infinity" : "Inf", w);
  return fit(w >= 9 ? "-Infinity" : "-Inf", w);
}

// Exponent part: E+dd for |e| <= 99, +ddd for |e| <= 999, empty (does not fit) otherwise.
bool exponent_text(int e, std::string& out) {
  char buf[16];
  int a = std::abs(e);
  if (a <= 99)
    std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', a);
  else if (a <= 999)
    std::snprintf(buf, sizeof buf, "%c%03d", e < 0 ? '-' : '+', a);
  else
    return false;
  out = buf;
  return true;
}

// Decimal digits of |v| rounded to `nd` significant digits, and the exponent of the first digit
// (v = 0.d1d2... * 10^(e+1)). Zero gives nd zeros and exponent -1.
void significant(double v, int nd, std::string& digits, int& e) {
  if (v == 0) {
    digits.assign(nd, '0');
    e = -1;
    return;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", nd - 1, std::fabs(v));
  digits.clear();
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  e = std::atoi(p + 1);
}

}  // namespace

std::string stars(int w) {
  return std::string(w > 0 ? w : 0, '*');
}

std::string iw(long long v, int w) {
  return fit(std::to_string(v), w);
}

std::string es(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  std::string digits, ex;
  int e;
  significant(v, d + 1, digits, e);
  if (v == 0) e = 0;
  if (!exponent_text(e, ex)) return stars(w);
  std::string s = std::signbit(v) && v != 0 ? "-" : "";
  s += digits[0];
  s += '.';
  s += digits.substr(1);
  return fit(s + ex, w);
}

std::string e0(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  std::string digits, ex;
  int e;
  significant(v, d, digits, e);
  if (!exponent_text(v == 0 ? 0 : e + 1, ex)) return stars(w);
  std::string sign = std::signbit(v) && v != 0 ? "-" : "";
  std::string body = "." + digits + ex;
  if (static_cast<int>(sign.size() + 1 + body.size()) <= w) return fit(sign + "0" + body, w);
  return fit(sign + body, w);
}

std::string fw(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  char buf[512];
  int len = std::snprintf(buf, sizeof buf, "%.*f", d, v);
  if (len < 0 || len >= static_cast<int>(sizeof buf)) return stars(w);
  std::string s = buf;
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);  // no -0.0
  if (static_cast<int>(s.size()) > w) {
    // Drop the optional zero before the point: "0.5" -> ".5", "-0.5" -> "-.5".
    auto z = s.find("0.");
    if (z == 0 || (z == 1 && s[0] == '-')) s.erase(z, 1);
  }
  return fit(s, w);
}

std::string padded(const std::string& s, int w) {
  if (static_cast<int>(s.size()) >= w) return s;
  return s + std::string(w - s.size(), ' ');
}

std::string date24() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %4d", days[tm.tm_wday],
                months[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
  return buf;
}

}  // namespace ostrel
