#include "picture/psout.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <ostream>
#include <sstream>

#include "base/fields.hpp"
#include "base/halt.hpp"
#include "base/result_file.hpp"
#include "geometry/element.hpp"

namespace ostrel {

namespace {

// Picture used should the input name plus ".ps" be the input name itself.
constexpr const char* fallback_name = "OSTREL_dat.ps";
// Width of the input-name field of the Title comment.
constexpr int title_field = 80;
// Parameter of the element point that carries the element's number.
constexpr double label_parameter = 0.75;
// Width of every integer of the file but the labels' element numbers.
constexpr int int_field = 4;
// Width of the labels' element numbers.
constexpr int label_field = 2;
// Range of device coordinates that fits the 4-column field. Every value outside lies far
// beyond the clipping box 50..550 x 300..800; only the axis-parallel axes and ground lines
// reach there (elements and labels lie inside the window), so clamping leaves the clipped
// picture unchanged and keeps the file valid PostScript.
constexpr int device_low = -999;
constexpr int device_high = 9999;

// Prologue: colour procedures c1..c16, font, hairline, first path.
constexpr const char* prologue[] = {
    "/c1  {1 0 0     setrgbcolor} def",
    "/c2  {0 1 0     setrgbcolor} def",
    "/c3  {0 0 1     setrgbcolor} def",
    "/c4  {0 1 1     setrgbcolor} def",
    "/c5  {1 0 1     setrgbcolor} def",
    "/c6  {1 1 0     setrgbcolor} def",
    "/c7  {0.5 0 1     setrgbcolor} def",
    "/c8  {0.6 0.2 0.2   setrgbcolor} def",
    "/c9  {0.5 0 0     setrgbcolor} def",
    "/c10 {0 0.5 0     setrgbcolor} def",
    "/c11 {0 0 0.5     setrgbcolor} def",
    "/c12 {0 0.5 0.5   setrgbcolor} def",
    "/c13 {0.5 0 0.5   setrgbcolor} def",
    "/c14 {0.5 0.5 0   setrgbcolor} def",
    "/c15 {0.25 0 0.5  setrgbcolor} def",
    "/c16 {0 0 0     setrgbcolor} def",
    "/Times-Roman findfont",
    "9 scalefont",
    "setfont",
    "0 setlinewidth",
    "newpath",
};

// Integer in the 4-column field; a value too wide for it is written whole rather than as
// asterisks, which PostScript would take for an undefined name.
std::string i4(long long v) {
  std::string s = iw(v, int_field);
  return s.find('*') == std::string::npos ? s : std::to_string(v);
}

// Truncates toward zero, saturating at the int range; NaN gives 0.
int truncate_int(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0) return INT_MAX;
  if (v <= -2147483649.0) return INT_MIN;
  return static_cast<int>(v);
}

int clamp_device(long long v) {
  return static_cast<int>(std::clamp<long long>(v, device_low, device_high));
}

// Builds the picture's lines on one stream, in device terms of one window.
class Painter {
 public:
  Painter(const PictureWindow& w, std::ostream& out) : w_(w), out_(out) {}

  int px(double x) const { return clamp_device(ip(x, ps_xlow, ps_xhigh, w_.x0, w_.x1)); }
  int py(double y) const { return clamp_device(ip(y, ps_ylow, ps_yhigh, w_.y0, w_.y1)); }

  // "px py" of a world point, each in 4 columns.
  std::string point(double x, double y) const { return i4(px(x)) + " " + i4(py(y)); }

  void line(const std::string& s) { out_ << s << '\n'; }
  void moveto(double x, double y) { line(point(x, y) + "  moveto"); }
  void lineto(double x, double y) { line(point(x, y) + "  lineto"); }
  void segment(double xa, double ya, double xb, double yb) {
    moveto(xa, ya);
    lineto(xb, yb);
  }

  // Arc of centre (xc, yc) and radius rw from a to b degrees; PostScript's arc runs
  // counter-clockwise, arcn clockwise.
  void arc(double xc, double yc, double rw, int a, int b, bool clockwise) {
    long long r = static_cast<long long>(ip(xc + rw, ps_xlow, ps_xhigh, w_.x0, w_.x1)) -
                  ip(xc, ps_xlow, ps_xhigh, w_.x0, w_.x1);
    line(i4(px(xc)) + " " + i4(py(yc)) + " " + i4(clamp_device(r)) + " " + i4(a) + " " + i4(b) +
         (clockwise ? " arcn" : " arc"));
  }

 private:
  PictureWindow w_;
  std::ostream& out_;
};

// Colour procedure of an element's kind: red conductor, blue conductor on no numbered
// conductor, brown zero-normal-field boundary, green interface, black otherwise.
const char* colour(const Element& e) {
  switch (e.itype) {
    case 1:
      return e.isign != 0 ? "c1" : "c3";
    case 2:
      return "c8";
    case 3:
      return "c2";
    default:
      return "c16";
  }
}

void outline(const Problem& pb, const Element& e, Painter& p) {
  const auto& g = e.geom;
  const double pi = pb.c().pi;
  const double xc = g[0], yc = g[1], r = g[2];
  switch (e.iform) {
    case 0:
      p.segment(g[0], g[1], g[2], g[3]);
      break;
    case 1:
    case 2: {
      // Start angle in radians for the start point, both angles in whole degrees.
      double a = e.iform == 1 ? g[3] : g[3] * pi / 180;
      int da = e.iform == 1 ? truncate_int(g[3] * 180 / pi) : truncate_int(g[3]);
      int db = e.iform == 1 ? truncate_int(g[4] * 180 / pi) : truncate_int(g[4]);
      p.line(p.point(xc + r * std::cos(a), yc + r * std::sin(a)) + "   moveto");
      p.arc(xc, yc, r, da, db, g[4] < g[3]);
      break;
    }
    case 3:
      p.moveto(xc + r, yc);
      p.arc(xc, yc, r, 0, 360, false);
      break;
    default:
      break;
  }
}

// The Title comment must stay one comment line: control characters (a line end above all)
// in a file name would otherwise put text of the name into the program.
std::string comment_text(std::string s) {
  for (char& ch : s)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
  return s;
}

// The stop of a picture file: its name in its field, or followed by the reason.
[[noreturn]] void stop_on_file(const char* what, const std::string& name,
                               const std::string& reason = {}) {
  Halt h;
  h.console.push_back(std::string(what) +
                      (reason.empty() ? padded(name, ps_name_field) : name + ": " + reason));
  h.status = exit_failure;
  halt(std::move(h));
}

}  // namespace

int length(const std::string& text) {
  auto pos = text.find_last_not_of(' ');
  return pos == std::string::npos ? 0 : static_cast<int>(pos) + 1;
}

int ip(double q, int i1, int i2, double q1, double q2) {
  double span = q2 - q1;
  if (span == 0) return i1;
  double v = i1 + (static_cast<double>(i2) - i1) * (q - q1) / span;
  if (std::isnan(v)) return i1;
  return truncate_int(v);
}

std::string picture_name(const std::string& input_name) {
  std::string base = input_name.substr(0, length(input_name));
  std::string name = base + ".ps";
  // Appending never yields the input name again; the check stays as the last guard against
  // replacing the input file.
  if (name.substr(0, length(name)) == base) return fallback_name;
  return name;
}

PictureWindow picture_window(const Problem& pb) {
  // The reading guarantees an element; without one the window degenerates to the origin (and
  // the ground planes) instead of reading past the element list.
  Box b = pb.n() >= 1 ? emima(pb, 1) : Box{};
  double xmin = b.xmin, xmax = b.xmax, ymin = b.ymin, ymax = b.ymax;
  if (pb.igg == 4 || pb.igg == 5) {
    ymin = amin(ymin, 0.0);
    ymax = amax(ymax, pb.gpars(1));
  } else if (pb.igg >= 1 && pb.igg <= 3) {
    ymin = amin(ymin, 0.0);
    ymax = amax(ymax, 0.0);
  }
  for (int i = 1; i <= pb.n(); ++i) {
    Box e = emima(pb, i);
    xmin = amin(xmin, e.xmin);
    xmax = amax(xmax, e.xmax);
    ymin = amin(ymin, e.ymin);
    ymax = amax(ymax, e.ymax);
  }

  // Margins; a picture on one horizontal or vertical line borrows the other axis's margin.
  const double tau = pb.c().tiny;
  double dx = std::fabs(xmax - xmin) * eps_picture_margin;
  double dy = std::fabs(ymax - ymin) * eps_picture_margin;
  if (std::fabs(dy) < tau) dy = dx;
  if (std::fabs(dx) < tau) dx = dy;

  // Square window: the longer side with its margins, the other centred.
  double wide = xmax - xmin + 2 * dx;
  double tall = ymax - ymin + 2 * dy;
  bool wider = tall > 0 ? wide / tall > 1 : wide > 0;
  PictureWindow w;
  if (wider) {
    w.x0 = xmin - dx;
    w.x1 = xmax + dx;
    double yc = (ymax + ymin) / 2;
    double h = (w.x1 - w.x0) * 250 / 500;
    w.y0 = yc - h;
    w.y1 = yc + h;
  } else {
    w.y0 = ymin - dy;
    w.y1 = ymax + dy;
    double xc = (xmax + xmin) / 2;
    double h = (w.y1 - w.y0) * 250 / 500;
    w.x0 = xc - h;
    w.x1 = xc + h;
  }
  return w;
}

void write_picture(const Problem& pb, const std::string& input_name, const std::string& date,
                   std::ostream& out) {
  const PictureWindow w = picture_window(pb);
  Painter p(w, out);

  // Header.
  p.line("%!PS-Adobe-3.0 EPSF-3.0");
  p.line("%%Creator: OSTREL");
  p.line("%%Title: " + comment_text(padded(input_name.substr(0, length(input_name)), title_field)) +
         " data");
  p.line("%%CreationDate: " + comment_text(date));
  p.line("%%BoundingBox: " + i4(ps_xlow) + " " + i4(ps_ylow) + " " + i4(ps_xhigh) + " " +
         i4(ps_yhigh));
  for (const char* s : prologue)
    p.line(s);

  // Clipping frame: the window's square.
  p.moveto(w.x0, w.y0);
  p.lineto(w.x1, w.y0);
  p.lineto(w.x1, w.y1);
  p.lineto(w.x0, w.y1);
  p.lineto(w.x0, w.y0);
  p.line("clip");
  p.line("newpath");
  p.line("c16");

  // Axes y = 0 and x = 0 in black hairlines.
  p.segment(w.x0, 0, w.x1, 0);
  p.segment(0, w.y0, 0, w.y1);
  p.line("stroke");
  p.line("1 setlinewidth");

  // Ground planes of the Green's function.
  const int igg = pb.igg;
  if (igg >= 1 && igg <= 4) {
    p.line(igg == 2 ? "c8" : igg == 3 ? "c3" : "c11");
    p.segment(w.x0, 0, w.x1, 0);
    if (igg == 4) p.segment(w.x0, pb.gpars(1), w.x1, pb.gpars(1));
  } else if (igg == 5) {
    const double g = pb.gpars(1);
    p.line("c11");
    p.segment(0, 0, w.x1, 0);
    p.segment(0, g, w.x1, g);
    // PostScript paints a path in the colour current at "stroke": the planes are stroked
    // before the colour changes, or they would take the symmetry wall's colour.
    p.line("stroke");
    p.line("c8");
    p.segment(0, 0, 0, g);
  }
  p.line("stroke");
  p.line("1 setlinewidth");

  // Elements and their numbers.
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    p.line("newpath");
    p.line(colour(e));
    outline(pb, e, p);
    p.line("stroke");
    p.line("c16");
    p.line("newpath");
    Point at = elem(pb, i, label_parameter);
    p.moveto(at.x, at.y);
    std::string label = "(";  // built by appends: g++ 12 warns falsely on "(" + string
    label += iw(i, label_field);
    label += " ";
    label += ")";
    label += " show";
    p.line(label);
  }
}

void psout(const Problem& pb, const std::string& input_name, std::ostream& console) {
  const std::string name = picture_name(input_name);
  // A NUL would cut the name handed to the system and open another file.
  if (name.find('\0') != std::string::npos) stop_on_file("Can not open PostScript file  ", name);
  std::ostringstream text;
  write_picture(pb, input_name, date24(), text);
  // Beside an input in a folder that cannot be written: in the current folder instead.
  const WholeFileWrite w = write_whole_file_or_here(name, text.str(), true);
  console << "PostScript picture in  "
          << padded(w.written.empty() ? name : w.written, ps_name_field) << '\n';
  if (w.why.empty()) return;
  if (!w.written.empty()) {
    console << " (" << name << " cannot be written: " << w.why << ")\n";
    return;
  }
  stop_on_file("Can not write PostScript file  ", name, w.why);
}

}  // namespace ostrel
