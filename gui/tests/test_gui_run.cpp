// Whole runs of the windowed program on Qt's offscreen platform: the snapshot of a run against
// the windowed runner of the recording platform, the window thread answering while the worker
// computes, closing the frame during a run, and the command line of ostrel-gui.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "base/halt.hpp"
#include "gui/frame_window.hpp"
#include "gui/gui_run.hpp"
#include "picture/platform.hpp"
#include "picture/windows.hpp"

namespace ostrel::gui {
namespace {

namespace fs = std::filesystem;

constexpr QRgb light_red = palette[12];
constexpr QRgb yellow = palette[14];

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder for one run, made the current directory while it lives (the runs write
// ostrel.log there).
class RunFolder {
 public:
  explicit RunFolder(const std::string& name) {
    dir_ = fs::temp_directory_path() / ("ostrel-gui-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  ~RunFolder() {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  const fs::path& path() const { return dir_; }

 private:
  fs::path dir_, old_;
};

// A problem of `wires` circles of `ni` points each, alternately conductors 1 and 2, over a
// ground plane: order wires * ni. iswitch != 0 asks for the out-of-core mode.
void write_wires(const fs::path& file, int wires, int ni, int iswitch) {
  std::ofstream f(file);
  f << "Wires over ground: " << wires << " circles of " << ni << " points\n"
    << "for the tests of the windowed program\n"
    << "0 1 /\n1 1 1 1 1\n1 0 0 0 0 0 0\n0.1 1\n";
  if (iswitch != 0)
    f << iswitch << " 10 100 1e-6 /\n";
  else
    f << "0 /\n";
  f << " nr iform itype isign ni ileft iright\n";
  for (int i = 0; i < wires; ++i)
    f << i + 1 << " 3 1 " << (i % 2 == 0 ? 1 : 2) << ' ' << ni << " 1 1\n"
      << 3.0 * (i % 10) << ' ' << 2 + 3.0 * (i / 10) << " 0.5 0 0\n1 1\n--\n";
}

// The row of the text page that holds `what`, as it stands, or "".
std::string row_with(const FrameWindow& f, const std::string& what) {
  std::lock_guard lock(f.contents().mu);
  for (const auto& [row, text] : f.contents().text.rows())
    if (text.toStdString().find(what) != std::string::npos) return text.toStdString();
  return {};
}

// Where a unit's child window and its drawing area lie in the frame.
struct ChildPlace {
  QString title;
  QRect window;  // the whole child window
  QRect title_bar;
  QRect content;  // the picture (graphics) or the page widget (text)
};

ChildPlace place(FrameWindow& f, int unit) {
  ChildPlace p;
  QMdiSubWindow* w = f.child(unit);
  if (!w) return p;
  p.title = w->windowTitle();
  p.window = QRect(w->mapTo(&f, QPoint(0, 0)), w->size());
  const int bar = w->widget()->geometry().top();
  p.title_bar = QRect(p.window.topLeft(), QSize(p.window.width(), bar));
  const QWidget* inner = static_cast<QScrollArea*>(w->widget())->widget();
  p.content = QRect(inner->mapTo(&f, QPoint(0, 0)), inner->size());
  return p;
}

// Pixels of colour c in the rectangle r of an image.
int count(const QImage& im, QRect r, QRgb c) {
  int n = 0;
  r = r.intersected(im.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      n += (im.pixel(x, y) | 0xFF000000u) == c;
  return n;
}

// Columns of the rectangle r that hold a pixel of colour c.
int columns_with(const QImage& im, QRect r, QRgb c) {
  int n = 0;
  for (int x = r.left(); x <= r.right(); ++x)
    n += count(im, QRect(x, r.top(), 1, r.height()), c) > 0;
  return n;
}

TEST(WindowedRun, SnapshotShowsTheCrossSectionTheChargesAndTheStatus) {
  const fs::path input = fs::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp";

  // The windowed runner on the recording platform gives the result file and the log to match.
  std::string runner_result, runner_log;
  {
    RunFolder folder("runner");
    const std::string cmd = std::string("\"") + OSTREL_WINDOW_RUNNER + "\" \"" + input.string() +
                            "\" > text.txt 2> err.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    runner_result = slurp("result.osl");
    runner_log = slurp("ostrel.log");
  }

  RunFolder folder("snapshot");
  ChildPlace text, graphics;
  QImage untitled;  // the frame as the snapshot shows it, but with empty child window titles
  QSize picture;    // the graphics window's whole picture: the maximised default child window
  std::string output_row;
  GuiRun run;
  run.files = {input.string()};
  run.snapshot = "snap.png";
  run.ended = [&](FrameWindow& f) {
    text = place(f, text_unit);
    graphics = place(f, graphics_unit);
    output_row = row_with(f, "output file: ");
    {
      std::lock_guard lock(f.contents().mu);
      picture = f.contents().canvases.at(graphics_unit)->image().size();
    }
    for (int unit : {text_unit, graphics_unit})
      f.child(unit)->setWindowTitle(QStringLiteral(" "));
    untitled = f.grab().toImage();
    f.child(text_unit)->setWindowTitle(text.title);
    f.child(graphics_unit)->setWindowTitle(graphics.title);
  };
  ASSERT_EQ(run_gui(run), 0);
  EXPECT_EQ(slurp("result.osl"), runner_result);
  EXPECT_EQ(slurp("ostrel.log"), runner_log);
  EXPECT_EQ(output_row, " output file: result.osl");

  // The two child windows side by side, the graphics window on the left.
  EXPECT_EQ(text.title.toStdString(), text_window_title);
  EXPECT_EQ(graphics.title.toStdString(), graphics_window_title);
  EXPECT_LT(graphics.window.right(), text.window.left());
  EXPECT_EQ(graphics.window.top(), text.window.top());

  const QImage snap(QStringLiteral("snap.png"));
  ASSERT_FALSE(snap.isNull());
  ASSERT_EQ(snap.size(), untitled.size());

  // Each title is drawn in its title bar: the pixels that the title changes span about the
  // title's width in the title bar font (the style may elide or pad it a little).
  for (const ChildPlace* c : {&text, &graphics}) {
    SCOPED_TRACE(c->title.toStdString());
    ASSERT_GT(c->title_bar.height(), 8);
    int left = c->title_bar.right(), right = c->title_bar.left() - 1;
    for (int y = c->title_bar.top(); y <= c->title_bar.bottom(); ++y)
      for (int x = c->title_bar.left(); x <= c->title_bar.right(); ++x)
        if (snap.pixel(x, y) != untitled.pixel(x, y)) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    const int width =
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(c->title);
    EXPECT_GT(right - left + 1, width * 7 / 10);
    EXPECT_LT(right - left + 1, width * 13 / 10);
    // Outside the title bars the two grabs are the same.
    EXPECT_EQ(snap.copy(c->content), untitled.copy(c->content));
  }

  // The viewports in the snapshot, from the layout of the picture's size.
  const WindowLayout layout = window_layout({picture.width(), picture.height()});
  const auto in_frame = [&](const PixelRect& r) {
    return QRect(graphics.content.topLeft() + QPoint(r.left, r.top),
                 graphics.content.topLeft() + QPoint(r.right, r.bottom));
  };
  const QRect upper = in_frame(layout.upper), lower = in_frame(layout.lower);
  // A wire's outline is a circle of about pi * 1/3 of the viewport's height in pixels.
  const int circle = upper.height() / 2;
  const QRect left_half(upper.left(), upper.top(), upper.width() / 2, upper.height());
  if (!graphics.content.contains(lower.bottomRight())) {
    // The solution driver drew no charge plot: the cross-section stands as drawn before the
    // solution, both wires light red, the left one left of the middle.
    EXPECT_EQ(count(snap, upper, yellow), 0);
    EXPECT_GT(count(snap, left_half, light_red), circle);
    EXPECT_GT(count(snap, upper, light_red), count(snap, left_half, light_red) + circle);
    GTEST_SKIP() << "no charge plot: the solution driver draws none yet";
  }

  // Cross-section as last drawn, before solving for conductor 2: wire 2 yellow, wire 1 light
  // red, side by side: yellow right of the middle, light red left of it.
  EXPECT_GT(count(snap, upper, yellow), circle);
  EXPECT_GT(count(snap, upper, light_red), circle);
  EXPECT_EQ(count(snap, left_half, yellow), 0);
  EXPECT_EQ(count(snap, left_half, light_red), count(snap, upper, light_red));

  // Charge densities of the solution for conductor 2: both wires' curves run across the
  // whole parameter range, -1 to 1, i.e. the width of the lower viewport.
  EXPECT_GT(columns_with(snap, lower, yellow), lower.width() * 9 / 10);
  EXPECT_GT(columns_with(snap, lower, light_red), lower.width() * 9 / 10);
}

TEST(WindowedRun, WindowAnswersWhileTheRunComputes) {
  RunFolder folder("alive");
  write_wires("wires.inp", 40, 95, 0);  // order 3800: a fill and an LU of a good second
  bool ended = false;
  int ticks = 0;                   // turns of the window thread's event loop during the run
  bool summary_seen = false;       // the text window showed the summary while the run went on
  bool picture_seen = false;       // and the graphics window the cross-section
  std::set<std::string> progress;  // LU progress displays seen during the run
  QTimer watch;
  GuiRun run;
  run.files = {"wires.inp"};
  run.started = [&](FrameWindow& f) {
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (ended) return;
      ++ticks;
      summary_seen = summary_seen || !row_with(f, " 3800 unknowns").empty();
      const std::string lu = row_with(f, "LU decomposition:");
      if (!lu.empty()) progress.insert(lu);
      std::lock_guard lock(f.contents().mu);
      const auto it = f.contents().canvases.find(graphics_unit);
      picture_seen = picture_seen || (it != f.contents().canvases.end() &&
                                      it->second->image().pixel(20, 20) == palette[8]);
    });
    watch.start(5);
  };
  run.ended = [&](FrameWindow& f) {
    ended = true;
    f.close();
  };
  EXPECT_EQ(run_gui(run), 0);
  EXPECT_TRUE(summary_seen);
  EXPECT_TRUE(picture_seen);
  // A window thread that waited for the computation would see no turn at all before its end.
  EXPECT_GT(ticks, 10);
  if (progress.empty())
    GTEST_SKIP() << "no LU progress display: the solution driver shows none yet";
  EXPECT_GE(progress.size(), 2u) << "LU progress displays seen while the run went on";
}

// Temporary files that the process holds open (a scratch file is one, removed from its folder
// while open).
int open_temporary_files() {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/self/fd", ec)) {
    const std::string target = fs::read_symlink(e.path(), ec).string();
    n += target.find(" (deleted)") != std::string::npos ||
         target.find("tmp.osl") != std::string::npos;
  }
  return n;
}

TEST(WindowedRun, ClosingTheFrameEndsTheRunAndReleasesTheScratchFile) {
  RunFolder folder("close");
  write_wires("wires.inp", 20, 95, 1);  // order 1900, block rows written to the scratch file
  const int before = open_temporary_files();
  bool closed = false;
  QTimer watch;
  GuiRun run;
  run.files = {"wires.inp"};
  run.started = [&](FrameWindow& f) {
    QObject::connect(&watch, &QTimer::timeout, [&] {
      // The storage has chosen the out-of-core mode: the scratch file is being written.
      if (row_with(f, "out-of-core solver applied").empty()) return;
      watch.stop();
      closed = true;
      f.close();
    });
    watch.start(1);
  };
  run.ended = [&](FrameWindow&) { ADD_FAILURE() << "the run went on to its end"; };
  EXPECT_EQ(run_gui(run), exit_failure);
  EXPECT_TRUE(closed);
  EXPECT_EQ(open_temporary_files(), before);
  EXPECT_FALSE(fs::exists("tmp.osl"));
  EXPECT_EQ(slurp("result.osl").find("capacitance"), std::string::npos);
}

// The program itself: its options, and a snapshot of a run with its exit status.
int run_program(const std::string& args, std::string* out = nullptr) {
  const std::string cmd = std::string("QT_QPA_PLATFORM=offscreen \"") + OSTREL_GUI_BINARY + "\" " +
                          args + " > out.txt 2>&1";
  const int status = std::system(cmd.c_str());
  if (out) *out = slurp("out.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GuiProgram, OptionsAndSnapshotExitStatus) {
  RunFolder folder("program");
  std::string out;
  EXPECT_EQ(run_program("--help", &out), 0);
  EXPECT_NE(out.find("Usage: ostrel-gui [--snapshot IMAGE.png] [INPUT [RESULT]]"),
            std::string::npos);
  EXPECT_EQ(run_program("--version", &out), 0);
  EXPECT_EQ(out.rfind("ostrel-gui ", 0), 0u);

  // A file named like an option is refused, and nothing is run.
  EXPECT_EQ(run_program("--x.inp", &out), exit_failure);
  EXPECT_NE(out.find("unknown option --x.inp"), std::string::npos);
  EXPECT_EQ(run_program("--snapshot s.png", &out), exit_failure);
  EXPECT_NE(out.find("--snapshot needs the input file"), std::string::npos);
  EXPECT_FALSE(fs::exists("ostrel.log"));

  // A run that stops on its input: the snapshot is written and the status is the run's, as
  // the windowed runner gives it.
  std::ofstream("bad.inp") << "only a title\n";
  const int stop = run_program("--snapshot bad.png bad.inp mine.osl");
  EXPECT_NE(stop, 0);
  const int runner = std::system(
      (std::string("\"") + OSTREL_WINDOW_RUNNER + "\" bad.inp mine.osl > runner.txt 2>&1").c_str());
  EXPECT_EQ(stop, WEXITSTATUS(runner));
  EXPECT_FALSE(QImage(QStringLiteral("bad.png")).isNull());

  // A good run into a named result file; a snapshot that cannot be written fails it.
  write_wires("two.inp", 2, 20, 0);
  EXPECT_EQ(run_program("--snapshot good.png two.inp mine.osl"), 0);
  EXPECT_NE(slurp("mine.osl").find("capacitance"), std::string::npos);
  EXPECT_EQ(QImage(QStringLiteral("good.png")).width(), QImage(QStringLiteral("bad.png")).width());
  EXPECT_EQ(run_program("--snapshot no/such/dir.png two.inp", &out), exit_io_error);
  EXPECT_NE(out.find("cannot write the snapshot"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::gui
