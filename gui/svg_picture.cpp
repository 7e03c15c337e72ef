#include "gui/svg_picture.hpp"

#include <QFontMetrics>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include "gui/canvas.hpp"

namespace ostrel::gui {

namespace {

// Pixel coordinates beyond this are nowhere near any picture: what lies there is dropped.
constexpr double far_pixels = 1e7;
// A pixel's centre lies half a pixel right of and below its corner.
constexpr double centre = 0.5;

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string colour(int index) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06X", palette_colour(index) & 0xFFFFFFu);
  return buf;
}

std::string escaped(const std::string& t) {
  std::string s;
  for (char c : t) {
    switch (c) {
      case '&':
        s += "&amp;";
        break;
      case '<':
        s += "&lt;";
        break;
      case '>':
        s += "&gt;";
        break;
      case '"':
        s += "&quot;";
        break;
      default:
        s += c;
    }
  }
  return s;
}

bool near(double x, double y) {
  return std::fabs(x) < far_pixels && std::fabs(y) < far_pixels;
}

// Stroke attributes of a 16-bit line mask: a dash pattern from its runs of set and clear bits,
// bit 15 first, one pixel each.
std::string stroke(int colour_index, std::uint16_t mask) {
  std::string s = " stroke=\"" + colour(colour_index) + "\" stroke-width=\"1\" fill=\"none\"";
  if (mask == 0xFFFF) return s;
  int first = 0;  // first set bit from bit 15 on
  while (!((mask >> (15 - first)) & 1u))
    ++first;
  std::string dashes;
  int run = 0;
  bool on = true;
  for (int i = 0; i < 16; ++i) {
    const bool bit = (mask >> (15 - (first + i) % 16)) & 1u;
    if (bit == on) {
      ++run;
      continue;
    }
    if (!dashes.empty()) dashes += ' ';
    dashes += std::to_string(run);
    run = 1;
    on = bit;
  }
  if (!dashes.empty()) dashes += ' ';
  dashes += std::to_string(run);
  return s + " stroke-dasharray=\"" + dashes + "\" stroke-dashoffset=\"" +
         std::to_string((16 - first) % 16) + "\"";
}

class Writer {
 public:
  explicit Writer(std::ostringstream& out) : out_(out) {}

  void segment(const Segment& seg, int id) {
    s_ = seg.start;
    bool open = false;
    for (std::size_t k = 0; k < seg.ops.size(); ++k) {
      const DrawOp& op = seg.ops[k];
      if (!open && draws(op.kind)) {
        const PixelRect& v = s_.view;
        out_ << "<clipPath id=\"v" << id << "\"><rect x=\"" << v.left << "\" y=\"" << v.top
             << "\" width=\"" << v.width() + 1 << "\" height=\"" << v.height() + 1
             << "\"/></clipPath>\n<g clip-path=\"url(#v" << id << ")\">\n";
        open = true;
      }
      op_(seg.ops, k);
    }
    flush();
    if (open) out_ << "</g>\n";
  }

 private:
  std::ostringstream& out_;
  DrawState s_;
  std::string path_;  // the polyline being gathered
  double px_ = 0, py_ = 0;

  static bool draws(OpKind k) {
    return k == OpKind::clear || k == OpKind::clear_viewport || k == OpKind::line ||
           k == OpKind::arc || k == OpKind::ellipse || k == OpKind::rectangle || k == OpKind::text;
  }

  // World point to picture pixels (unrounded, at the pixel's centre).
  void pixel(WorldPoint p, double& x, double& y) const {
    world_to_view(s_, p, x, y);
    x += s_.view.left + centre;
    y += s_.view.top + centre;
  }

  void flush() {
    if (path_.empty()) return;
    out_ << "<path d=\"" << path_ << "\"" << stroke(s_.colour, s_.mask) << "/>\n";
    path_.clear();
  }

  // Appends a path command with its point.
  void point(char command, double x, double y) {
    path_ += command;
    path_ += num(x);
    path_ += ' ';
    path_ += num(y);
  }

  void line(WorldPoint to) {
    double x0, y0, x1, y1;
    pixel(s_.at, x0, y0);
    pixel(to, x1, y1);
    const PixelRect& v = s_.view;
    if (!clip_line(x0, y0, x1, y1, v.left - 1.0, v.top - 1.0, v.right + 2.0, v.bottom + 2.0))
      return;
    if (path_.empty() || x0 != px_ || y0 != py_) point('M', x0, y0);
    point('L', x1, y1);
    px_ = x1;
    py_ = y1;
  }

  void ellipse_arc(WorldPoint b1, WorldPoint b2, double a, double sweep) {
    const BoxEllipse el = box_ellipse(b1, b2);
    double pcx, pcy, ex, ey;
    pixel({el.cx, el.cy}, pcx, pcy);
    pixel({el.cx + el.rx, el.cy + el.ry}, ex, ey);
    const double prx = std::fabs(ex - pcx), pry = std::fabs(ey - pcy);
    if (!std::isfinite(prx) || !std::isfinite(pry) || !near(pcx, pcy) || !near(prx, pry)) return;
    const std::string st = stroke(s_.colour, s_.mask);
    if (sweep >= two_pi) {
      out_ << "<ellipse cx=\"" << num(pcx) << "\" cy=\"" << num(pcy) << "\" rx=\"" << num(prx)
           << "\" ry=\"" << num(pry) << "\"" << st << "/>\n";
      return;
    }
    double x0, y0, x1, y1;
    pixel(el.at(a), x0, y0);
    pixel(el.at(a + sweep), x1, y1);
    // Counter-clockwise with y upward is counter-clockwise on the screen too: sweep flag 0.
    out_ << "<path d=\"M" << num(x0) << " " << num(y0) << "A" << num(prx) << " " << num(pry)
         << " 0 " << (sweep > std::numbers::pi ? 1 : 0) << " 0 " << num(x1) << " " << num(y1)
         << "\"" << st << "/>\n";
  }

  void rect(const PixelRect& r, const std::string& fill) {
    out_ << "<rect x=\"" << r.left << "\" y=\"" << r.top << "\" width=\"" << r.width() + 1
         << "\" height=\"" << r.height() + 1 << "\" fill=\"" << fill << "\"/>\n";
  }

  // Writes what an operation draws, then follows its effect on the state. A change of colour
  // or line mask ends the polyline being gathered, as everything but a line or a move does.
  void op_(const std::vector<DrawOp>& ops, std::size_t k) {
    const DrawOp& op = ops[k];
    if (op.kind != OpKind::line && op.kind != OpKind::move) flush();
    switch (op.kind) {
      case OpKind::clear:
        // The picture is the used part; what lies beyond it is not written anyway.
        out_ << "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#000000\"/>\n";
        break;
      case OpKind::clear_viewport:
        rect(s_.view, "#000000");
        break;
      case OpKind::colour:
      case OpKind::line_style:
      case OpKind::font:
      case OpKind::move:
      case OpKind::move_pixels:
        break;
      case OpKind::line:
        if (s_.mask != 0) line(op.a);
        break;
      case OpKind::arc:
        if (k + 1 < ops.size() && ops[k + 1].kind == OpKind::arc_rays && s_.mask != 0) {
          if (ArcAngles a; arc_angles(op.a, op.b, ops[k + 1].a, ops[k + 1].b, a))
            ellipse_arc(op.a, op.b, a.start, a.sweep);
        }
        break;
      case OpKind::arc_rays:
        break;
      case OpKind::ellipse:
        if (s_.mask != 0) ellipse_arc(op.a, op.b, 0, two_pi);
        break;
      case OpKind::rectangle: {
        const double l = std::min(op.a.x, op.b.x), r = std::max(op.a.x, op.b.x);
        const double t = std::min(op.a.y, op.b.y), b = std::max(op.a.y, op.b.y);
        const double ox = s_.view.left, oy = s_.view.top;
        if (!near(l + ox, t + oy) || !near(r + ox, b + oy)) break;
        if (static_cast<Fill>(op.i) == Fill::filled) {
          out_ << "<rect x=\"" << num(ox + l) << "\" y=\"" << num(oy + t) << "\" width=\""
               << num(r - l + 1) << "\" height=\"" << num(b - t + 1) << "\" fill=\""
               << colour(s_.colour) << "\"/>\n";
        } else if (s_.mask != 0) {
          out_ << "<rect x=\"" << num(ox + l + centre) << "\" y=\"" << num(oy + t + centre)
               << "\" width=\"" << num(r - l) << "\" height=\"" << num(b - t) << "\""
               << stroke(s_.colour, s_.mask) << "/>\n";
        }
        break;
      }
      case OpKind::text: {
        const double x = s_.view.left + static_cast<double>(s_.text_at.x);
        const double y = s_.view.top + static_cast<double>(s_.text_at.y);
        if (!near(x, y)) break;
        const QFont f = fixed_font(s_.font);
        const QFontMetrics m(f);
        out_ << "<text x=\"" << num(x) << "\" y=\"" << num(y + m.ascent()) << "\" font-family=\""
             << escaped(f.family().toStdString()) << ", monospace\" font-size=\"" << f.pixelSize()
             << "\" fill=\"" << colour(s_.colour) << "\" xml:space=\"preserve\">"
             << escaped(op.text) << "</text>\n";
        break;
      }
    }
    follow(s_, op);
  }
};

}  // namespace

std::string svg_picture(const Drawing& d) {
  const QSize size = d.used();
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << size.width()
      << "\" height=\"" << size.height() << "\" viewBox=\"0 0 " << size.width() << " "
      << size.height() << "\">\n"
      << "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#000000\"/>\n";
  Writer w(out);
  int id = 0;
  for (const Segment& s : d.segments())
    w.segment(s, id++);
  out << "</svg>\n";
  return out.str();
}

}  // namespace ostrel::gui
