// What the windowed program hands out of its windows, read back: the matrix as CSV and as
// tab-separated text, and the picture as SVG against the pixels the window shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "gui/canvas.hpp"
#include "gui/drawing.hpp"
#include "gui/frame_window.hpp"
#include "gui/svg_picture.hpp"

namespace ostrel::gui {
namespace {

// Checks that `text` holds the reported matrix row by row, fields split by `sep`, every value
// giving back the very same double; with headers, a first line "conductor,1,...,m" and each
// row led by its conductor number.
void expect_matrix(const QString& text, QChar sep, bool headers, const ReportedMatrix& a) {
  const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), a.m + (headers ? 1 : 0)) << text.toStdString();
  if (headers) {
    EXPECT_EQ(lines[0], QStringLiteral("conductor,1,2,3"));
  }
  for (int i = 0; i < a.m; ++i) {
    const QStringList f = lines[i + (headers ? 1 : 0)].split(sep);
    ASSERT_EQ(f.size(), a.m + (headers ? 1 : 0)) << f.join(sep).toStdString();
    if (headers) {
      EXPECT_EQ(f[0], QString::number(i + 1));
    }
    for (int j = 0; j < a.m; ++j) {
      const double v = std::strtod(f[j + (headers ? 1 : 0)].toLatin1().constData(), nullptr);
      EXPECT_EQ(v, a.at(i, j)) << "row " << i + 1 << " column " << j + 1 << ": " << v << " for "
                               << a.at(i, j);
    }
  }
}

TEST(MatrixExport, CsvAndTabSeparatedTextGiveEveryValueBackBitForBit) {
  const QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WindowContents contents;
  FrameWindow frame(contents, /*unattended=*/true);
  const QString csv = dir.filePath(QStringLiteral("matrix.csv"));
  // Before any run there is nothing to take out, and no file is made.
  EXPECT_FALSE(frame.export_csv(csv));
  EXPECT_FALSE(QFile::exists(csv));
  EXPECT_TRUE(frame.copy_matrix().isEmpty());

  // Column-major and not symmetric, so that a transposed export shows; values that fewer than
  // 17 significant digits, or a fixed notation, would not give back (a subnormal among them).
  ReportedMatrix a{"C",
                   3,
                   {1.0 / 3, 2e-11 / 7, -std::nextafter(1.0, 2.0), 6.02214076e23, 4.9e-324,
                    -1e-5 / 3, 0.1 + 0.2, 1e-300 / 3, -123456.78901234567}};
  {
    std::lock_guard lock(contents.mu);
    contents.matrix = a;
  }
  ASSERT_TRUE(frame.export_csv(csv));
  QFile in(csv);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  expect_matrix(QString::fromUtf8(in.readAll()), QLatin1Char(','), true, a);
  const QString tsv = frame.copy_matrix();
  expect_matrix(tsv, QLatin1Char('\t'), false, a);
  EXPECT_EQ(QApplication::clipboard()->text(), tsv);
}

// A point of a shape in picture units (logical pixels, a pixel's centre at +0.5).
struct Point {
  double x, y;
};

// Points along an SVG elliptical arc "M x1 y1 A rx ry 0 large sweep x2 y2", its centre found
// from the end points as an SVG reader does; `n` + 1 of them from start to end.
std::vector<Point> arc_points(double x1, double y1, double rx, double ry, bool large, bool sweep,
                              double x2, double y2, int n) {
  const double hx = (x1 - x2) / 2, hy = (y1 - y2) / 2;
  const double lambda = hx * hx / (rx * rx) + hy * hy / (ry * ry);
  if (lambda > 1) rx *= std::sqrt(lambda), ry *= std::sqrt(lambda);
  const double num = rx * rx * ry * ry - rx * rx * hy * hy - ry * ry * hx * hx;
  const double den = rx * rx * hy * hy + ry * ry * hx * hx;
  const double k = (large != sweep ? 1 : -1) * std::sqrt(std::max(0.0, num / den));
  const double ccx = k * rx * hy / ry, ccy = -k * ry * hx / rx;
  const double cx = ccx + (x1 + x2) / 2, cy = ccy + (y1 + y2) / 2;
  const double t1 = std::atan2((hy - ccy) / ry, (hx - ccx) / rx);
  double dt = std::atan2((-hy - ccy) / ry, (-hx - ccx) / rx) - t1;
  if (!sweep && dt > 0) dt -= 2 * std::numbers::pi;
  if (sweep && dt < 0) dt += 2 * std::numbers::pi;
  std::vector<Point> p;
  for (int i = 0; i <= n; ++i)
    p.push_back({cx + rx * std::cos(t1 + dt * i / n), cy + ry * std::sin(t1 + dt * i / n)});
  return p;
}

// The SVG picture's ellipses and arcs lie where the window draws them: every point of each SVG
// shape falls on (or next to) a canvas pixel of its colour, and every canvas pixel of that
// colour lies next to the SVG shape. Three shapes of three colours apart, in a viewport off the
// corner and a world window scaled unequally in x and y; the arcs of a quarter and three
// quarters turn counter-clockwise (the sweep and large-arc flags).
TEST(SvgPicture, EllipsesAndArcsLieOnTheWindowsPixels) {
  Drawing d(QSize(240, 200));
  d.set_viewport({20, 30, 219, 179});
  ASSERT_TRUE(d.set_world_window({-2, -1}, {3, 2}));
  d.add(DrawOp(OpKind::colour, 14));
  d.add(DrawOp(OpKind::ellipse, 0, {-1.9, 0.2}, {0.4, 1.9}));
  d.add(DrawOp(OpKind::colour, 12));  // from east to south: three quarters
  d.add(DrawOp(OpKind::arc, 0, {0.6, 0.2}, {2.9, 1.9}));
  d.add(DrawOp(OpKind::arc_rays, 0, {2.9, 1.05}, {1.75, 0}));
  d.add(DrawOp(OpKind::colour, 10));  // from north to west: a quarter
  d.add(DrawOp(OpKind::arc, 0, {-1.5, -0.9}, {2.5, 0}));
  d.add(DrawOp(OpKind::arc_rays, 0, {0.5, 0.5}, {-1.9, -0.45}));
  Canvas cv(d.used());
  RenderMark mark;
  render(d, cv, mark);
  const std::string svg = svg_picture(d);

  const QString n = QStringLiteral("(-?[0-9.]+)");
  const QRegularExpression ellipse(
      QStringLiteral("<ellipse cx=\"%1\" cy=\"%1\" rx=\"%1\" ry=\"%1\" "
                     "stroke=\"#([0-9A-F]{6})\"")
          .arg(n));
  const QRegularExpression arc(
      QStringLiteral("<path d=\"M%1 %1A%1 %1 0 ([01]) ([01]) %1 %1\" stroke=\"#([0-9A-F]{6})\"")
          .arg(n));
  std::vector<std::pair<QRgb, std::vector<Point>>> shapes;
  const QString text = QString::fromStdString(svg);
  for (auto it = ellipse.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    const std::vector<Point> p = arc_points(
        m.captured(1).toDouble() + m.captured(3).toDouble(), m.captured(2).toDouble(),
        m.captured(3).toDouble(), m.captured(4).toDouble(), true, false,
        m.captured(1).toDouble() + m.captured(3).toDouble(), m.captured(2).toDouble() + 1e-9, 720);
    shapes.push_back({0xFF000000u | m.captured(5).toUInt(nullptr, 16), p});
  }
  for (auto it = arc.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    const auto c = [&](int i) { return m.captured(i).toDouble(); };
    shapes.push_back({0xFF000000u | m.captured(9).toUInt(nullptr, 16),
                      arc_points(c(1), c(2), c(3), c(4), c(5) == 1, c(6) == 1, c(7), c(8), 720)});
  }
  ASSERT_EQ(shapes.size(), 3u) << svg;
  EXPECT_EQ(arc.match(text).captured(5), QStringLiteral("1"));  // the three quarters: large

  const QImage& im = cv.image();
  const auto lit_near = [&](int x, int y, QRgb c) {
    for (int j = y - 1; j <= y + 1; ++j)
      for (int i = x - 1; i <= x + 1; ++i)
        if (im.rect().contains(i, j) && im.pixel(i, j) == c) return true;
    return false;
  };
  for (const auto& [colour, points] : shapes) {
    SCOPED_TRACE(colour);
    int off = 0, stray = 0, lit = 0;
    for (const Point& p : points)
      off +=
          !lit_near(static_cast<int>(std::floor(p.x)), static_cast<int>(std::floor(p.y)), colour);
    for (int y = 0; y < im.height(); ++y)
      for (int x = 0; x < im.width(); ++x) {
        if (im.pixel(x, y) != colour) continue;
        ++lit;
        // Within a pixel and a half of the shape (a pixel's centre against a drawn line).
        bool near = false;
        for (const Point& p : points)
          near = near || std::hypot(p.x - (x + 0.5), p.y - (y + 0.5)) <= 1.5;
        stray += !near;
      }
    EXPECT_GT(lit, 60);  // the shortest, the quarter, is about 90 pixels long
    EXPECT_EQ(off, 0);
    EXPECT_EQ(stray, 0);
  }
}

}  // namespace
}  // namespace ostrel::gui
