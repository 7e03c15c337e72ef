// Whole runs of the windowed program on Qt's offscreen platform: the snapshot of a run against
// the windowed runner of the recording platform, the window thread answering while the worker
// computes, closing the frame during a run, and the command line of ostrel-gui.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QImage>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "gui/frame_window.hpp"
#include "gui/gui_run.hpp"
#include "gui/views.hpp"
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

// A fresh folder of its own (mkdtemp) for one run, made the current directory while it lives
// (the runs write ostrel.log there).
class RunFolder {
 public:
  explicit RunFolder(const std::string& name) {
    std::string pattern = (fs::temp_directory_path() / ("ostrel-gui-" + name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    dir_ = pattern;
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
  const QWidget* inner = w->widget();
  if (const auto* t = qobject_cast<const QPlainTextEdit*>(inner)) inner = t->viewport();
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
  double fit = 0;   // screen pixels per picture pixel
  std::string output_row;
  GuiRun run;
  run.files = {input.string()};
  run.snapshot = "snap.png";
  run.ended = [&](FrameWindow& f) {
    text = place(f, text_unit);
    graphics = place(f, graphics_unit);
    output_row = row_with(f, "output file: ");
    const auto* view = static_cast<CanvasView*>(f.child(graphics_unit)->widget());
    {
      std::lock_guard lock(f.contents().mu);
      picture = f.contents().drawings.at(graphics_unit)->size();
      fit = static_cast<double>(view->shown_size().height()) /
            f.contents().drawings.at(graphics_unit)->used().height();
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
    const auto at = [&](int x, int y) {
      return graphics.content.topLeft() +
             QPoint(static_cast<int>(x * fit), static_cast<int>(y * fit));
    };
    return QRect(at(r.left, r.top), at(r.right, r.bottom));
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
      // The cross-section's dark-grey background is drawn.
      const auto it = f.contents().drawings.find(graphics_unit);
      if (it != f.contents().drawings.end())
        for (const Segment& s : it->second->segments())
          for (const DrawOp& op : s.ops)
            picture_seen = picture_seen || (op.kind == OpKind::colour && op.i == 8);
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

// Whether a folder holds a scratch file of the out-of-core mode (tmp.osl, or tmp.osl.XXXXXX when
// it is made with a unique name).
bool scratch_in(const fs::path& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().starts_with("tmp.osl")) return true;
  return false;
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
  EXPECT_FALSE(scratch_in("."));
  EXPECT_EQ(slurp("result.osl").find("capacitance"), std::string::npos);
}

// Reads numbers separated by `sep` from lines (the first `skip` fields of each line and the
// first `skip_lines` lines left out).
std::vector<double> numbers(const std::string& text, char sep, int skip, int skip_lines) {
  std::vector<double> v;
  std::istringstream lines(text);
  int n = 0;
  for (std::string line; std::getline(lines, line); ++n) {
    if (n < skip_lines) continue;
    std::istringstream fields(line);
    int k = 0;
    for (std::string f; std::getline(fields, f, sep); ++k)
      if (k >= skip) v.push_back(std::strtod(f.c_str(), nullptr));
  }
  return v;
}

// A session driven through its menu actions, as a user would: a problem run from the command
// line, a second opened with File > Open (its files next to it), the matrix copied and exported,
// the picture saved as SVG and PNG, the results saved elsewhere, the plots window closed and
// brought back and maximised, and a long out-of-core run stopped with Stop, the program still
// there for the next run.
TEST(Session, MenuActionsOpenRunStopAndTakeTheResultsOut) {
  RunFolder folder("session");
  fs::create_directories("problems/long");
  write_wires("problems/two.inp", 2, 20, 0);
  write_wires("problems/long/long.inp", 20, 95, 1);  // order 1900 out of core: seconds
  const fs::path coupled = fs::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp";
  const QString two = QString::fromStdString(fs::absolute("problems/two.inp").string());
  const QString long_run = QString::fromStdString(fs::absolute("problems/long/long.inp").string());
  const QString out = QString::fromStdString(fs::absolute("out").string());
  fs::create_directories("out");

  std::vector<int> statuses;
  std::string clipboard, first_row;
  QSize small, large;  // the plots as shown before and after maximising their window
  QSize image_large;   // the rendered picture then, device pixels
  int yellow_small = 0, yellow_large = 0;
  bool hidden = false, back = false;
  std::string stopped_text;
  QString answer;  // what the file dialogs answer
  GuiRun run;
  run.files = {coupled.string()};
  const auto shown = [](FrameWindow& f) {
    return static_cast<CanvasView*>(f.child(graphics_unit)->widget());
  };
  const auto count_yellow = [](const QImage& im) { return count(im, im.rect(), yellow); };
  run.started = [&](FrameWindow& f) {
    f.file_dialog = [&](const QString&, const QString&, bool, const QString&) { return answer; };
  };
  run.ended = [&](FrameWindow& f) {
    statuses.push_back(f.last_status());
    switch (statuses.size()) {
      case 1: {
        // The command line's run wrote into the current folder. Open the next problem.
        EXPECT_TRUE(fs::exists("result.osl"));
        EXPECT_FALSE(f.action("run_again")->isEnabled() && f.running());
        answer = two;
        f.action("open")->trigger();
        if (!f.running()) f.close();
        EXPECT_TRUE(f.running());
        // A second run cannot start while one is going.
        EXPECT_FALSE(f.run_again());
        break;
      }
      case 2: {
        first_row = row_with(f, "next to the problem file");
        f.action("copy_matrix")->trigger();
        clipboard = QApplication::clipboard()->text().toStdString();
        answer = out + "/matrix.csv";
        f.action("export_csv")->trigger();
        answer = out + "/plots.svg";
        f.action("save_picture")->trigger();
        answer = out + "/plots.png";
        f.action("save_picture")->trigger();
        answer = out + "/copy.osl";
        f.action("save_results")->trigger();
        // Close the plots window and bring it back from the Window menu, then maximise it.
        small = shown(f)->shown_size();
        yellow_small = count_yellow(shown(f)->image());
        f.child(graphics_unit)->close();
        hidden = !f.child(graphics_unit)->isVisible();
        f.action("show_plots")->trigger();
        back = f.child(graphics_unit)->isVisible();
        f.child(graphics_unit)->showMaximized();
        // The window system resizes the picture after the window (a bounded wait).
        for (int i = 0; i < 200 && shown(f)->shown_size() == small; ++i)
          QApplication::processEvents(QEventLoop::AllEvents, 5);
        large = shown(f)->shown_size();
        image_large = shown(f)->image().size();
        yellow_large = count_yellow(shown(f)->image());
        // A long run, stopped once its scratch file is being written.
        answer = long_run;
        f.action("open")->trigger();
        if (!f.running()) f.close();
        auto* watch = new QTimer(&f);
        QObject::connect(watch, &QTimer::timeout, [&f, watch] {
          if (row_with(f, "out-of-core solver applied").empty()) return;
          watch->stop();
          f.action("stop")->trigger();
        });
        watch->start(1);
        break;
      }
      default:
        stopped_text = row_with(f, "run stopped");
        f.close();
    }
  };
  EXPECT_EQ(run_gui(run), exit_failure);  // the last run was stopped
  fs::current_path(folder.path());
  ASSERT_EQ(statuses.size(), 3u);
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 0);
  EXPECT_NE(statuses[2], 0);

  // Files of a problem opened from the menu go next to it, and the text window says so.
  EXPECT_NE(first_row.find(fs::absolute("problems").string()), std::string::npos) << first_row;
  const std::string result = slurp("problems/result.osl");
  EXPECT_NE(result.find("capacitance"), std::string::npos);
  EXPECT_EQ(slurp("out/copy.osl"), result);

  // The clipboard and the CSV hold the same matrix at full precision; the result file's four
  // digits agree with it to their rounding.
  const std::vector<double> tsv = numbers(clipboard, '\t', 0, 0);
  const std::string csv = slurp("out/matrix.csv");
  EXPECT_EQ(csv.rfind("conductor,1,2\n1,", 0), 0u) << csv;
  EXPECT_EQ(numbers(csv, ',', 1, 1), tsv);
  std::vector<double> printed;
  {
    std::istringstream in(result.substr(result.find("]")));
    std::string word;
    while (in >> word)
      if (word.find('E') != std::string::npos)
        printed.push_back(std::strtod(word.c_str(), nullptr));
  }
  ASSERT_EQ(tsv.size(), 4u);
  ASSERT_EQ(printed.size(), 4u);
  // 0.dddd E+xx keeps four digits: rounding moves it by half a unit of the fourth, at most
  // 5e-4 of the value.
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_LE(std::fabs(tsv[i] - printed[i]), 5e-4 * std::fabs(tsv[i])) << i;

  // The SVG is a vector picture of the same operations: the wires' circles as ellipses, the
  // densities as paths, no embedded image; the PNG is the picture as shown.
  const std::string svg = slurp("out/plots.svg");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_GE(std::count(svg.begin(), svg.end(), '\n'), 10);
  EXPECT_NE(svg.find("<ellipse"), std::string::npos);
  EXPECT_NE(svg.find("<path d=\"M"), std::string::npos);
  EXPECT_EQ(svg.find("<image"), std::string::npos);
  EXPECT_FALSE(QImage(QStringLiteral("out/plots.png")).isNull());

  // The plots window came back and, maximised, shows a larger picture drawn again at its size.
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(back);
  EXPECT_GT(large.width(), small.width());
  EXPECT_GE(large.height(), small.height());
  EXPECT_EQ(image_large, large);  // one device pixel per pixel on the offscreen screen
  EXPECT_GT(yellow_large, yellow_small);

  // The stopped run: said so, its scratch file removed, no result that looks complete.
  EXPECT_FALSE(stopped_text.empty());
  EXPECT_FALSE(scratch_in("problems/long"));
  EXPECT_NE(slurp("problems/long/ostrel.log").find("run stopped"), std::string::npos);
  EXPECT_EQ(slurp("problems/long/result.osl").find("capacitance"), std::string::npos);
}

// The picture a window shows after a run, rendered piece by piece while the run drew (the
// window repaints at most 25 times a second), is the picture of the whole record rendered at
// once: no repaint that was put off is lost. Run Again gives the same matrix and the same
// picture; the text window closed and brought back from the Window menu shows the run's rows.
TEST(Session, ShownPictureIsTheWholeRecordAndRunAgainRepeatsTheRun) {
  RunFolder folder("again");
  std::vector<std::vector<double>> matrices;
  std::vector<QImage> shown, whole;
  bool text_hidden = false;
  std::string text_back;
  GuiRun run;
  run.files = {(fs::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp").string()};
  run.ended = [&](FrameWindow& f) {
    const auto* view = static_cast<CanvasView*>(f.child(graphics_unit)->widget());
    shown.push_back(view->image());
    CanvasView fresh(f.contents(), graphics_unit);  // the whole record, at the window's size
    fresh.resize(view->size());
    fresh.show();
    fresh.refresh();
    whole.push_back(fresh.image());
    {
      std::lock_guard lock(f.contents().mu);
      matrices.push_back(f.contents().matrix.value);
    }
    if (matrices.size() > 1) {
      f.close();
      return;
    }
    f.child(text_unit)->close();
    text_hidden = !f.child(text_unit)->isVisible();
    f.action("show_text")->trigger();
    if (f.child(text_unit)->isVisible())
      text_back =
          static_cast<QPlainTextEdit*>(f.child(text_unit)->widget())->toPlainText().toStdString();
    f.action("run_again")->trigger();
    if (!f.running()) f.close();
  };
  EXPECT_EQ(run_gui(run), 0);
  ASSERT_EQ(matrices.size(), 2u);
  EXPECT_EQ(matrices[0].size(), 4u);
  EXPECT_EQ(matrices[1], matrices[0]);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_FALSE(shown[i].isNull());
    EXPECT_TRUE(shown[i] == whole[i]) << "run " << i + 1;
  }
  EXPECT_TRUE(shown[1] == shown[0]);
  EXPECT_TRUE(text_hidden);
  EXPECT_NE(text_back.find(" output file: result.osl"), std::string::npos) << text_back;
}

// SIGTERM during a run of the program ends it as Stop does, and the program exits non-zero.
TEST(GuiProgram, SignalStopsTheRunAndExitsNonZero) {
  RunFolder folder("signal");
  write_wires("long.inp", 20, 95, 1);
  const std::string cmd = std::string("QT_QPA_PLATFORM=offscreen exec \"") + OSTREL_GUI_BINARY +
                          "\" long.inp > out.txt 2>&1";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait (bounded) until the out-of-core run writes its scratch file.
  for (int i = 0; i < 6000 && !scratch_in("."); ++i)
    usleep(5000);
  const bool scratch = scratch_in(".");
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(scratch);
  ASSERT_TRUE(WIFEXITED(status)) << slurp("out.txt");
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_FALSE(scratch_in("."));
  EXPECT_NE(slurp("ostrel.log").find("run stopped"), std::string::npos);
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
  EXPECT_NE(out.find("iprobl iunits ish"), std::string::npos);  // the groups as it reads them
  EXPECT_EQ(run_program("--version", &out), 0);
  EXPECT_EQ(out.rfind("ostrel-gui ", 0), 0u);

  // No display to be reached: one line that says so, and exit_io_error instead of an abort.
  const int none =
      std::system((std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \"") +
                   OSTREL_GUI_BINARY + "\" two.inp > none.txt 2>&1")
                      .c_str());
  const std::string said = slurp("none.txt");
  EXPECT_TRUE(WIFEXITED(none) && WEXITSTATUS(none) == exit_io_error) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("no display"), std::string::npos) << said;

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

  // A file written for the console program (group 3 without ish and without "/"): the read
  // error says which group and how to mend it.
  std::string console = slurp(fs::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp");
  console.replace(console.find("0 1 /"), 5, "0 1  ");
  std::ofstream("console.inp") << console;
  EXPECT_EQ(run_program("--snapshot console.png console.inp", &out), exit_io_error);
  EXPECT_NE(out.find("group 3 of the windowed program holds iprobl, iunits, ish: end the line "
                     "with / to keep ish = 0"),
            std::string::npos)
      << out;

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
