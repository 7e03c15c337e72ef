#include "gui/qt_platform.hpp"

#include "gui/identity.hpp"

#include <QFile>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

namespace ostrel::gui {

void clear_upper_vector_state() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) asm volatile("vzeroupper");
#endif
}

namespace {

// Shortest time between two repaints of the windows during a run: 25 a second, as smooth as
// progress needs to look.
constexpr std::chrono::milliseconds refresh_interval{40};

// Clears the upper vector state when an operation returns to the computation.
struct BackToComputation {
  BackToComputation() = default;
  BackToComputation(const BackToComputation&) = delete;
  BackToComputation& operator=(const BackToComputation&) = delete;
  ~BackToComputation() { clear_upper_vector_state(); }
};

}  // namespace

QtPlatform::QtPlatform(WindowContents& contents, FrameWindow& frame, bool unattended)
    : contents_(contents), frame_(frame), unattended_(unattended) {}

void QtPlatform::cancel() {
  {
    std::lock_guard lock(link_->mu);
    link_->cancelled = true;
  }
  link_->answered.notify_all();
}

void QtPlatform::check() const {
  if (link_->cancelled) throw RunCancelled{};
}

// Hands f(frame) to the window thread, after everything handed over before; returns at once.
// A request still queued when the frame goes is dropped with it.
template <class F>
void QtPlatform::post(F f) {
  check();
  FrameWindow* frame = &frame_;
  QMetaObject::invokeMethod(
      frame, [frame, f] { f(*frame); }, Qt::QueuedConnection);
}

// Hands f(frame) to the window thread and waits for its value; throws RunCancelled when the
// run is cancelled before the answer comes.
template <class R, class F>
R QtPlatform::ask(F f) {
  check();
  struct Reply {
    bool done = false;
    R value{};
  };
  auto reply = std::make_shared<Reply>();
  std::shared_ptr<Link> link = link_;
  FrameWindow* frame = &frame_;
  QMetaObject::invokeMethod(
      frame,
      [frame, f, reply, link] {
        R value = f(*frame);
        {
          std::lock_guard lock(link->mu);
          reply->value = std::move(value);
          reply->done = true;
        }
        link->answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(link->mu);
  link->answered.wait(lock, [&] { return reply->done || link->cancelled; });
  if (!reply->done) throw RunCancelled{};
  return std::move(reply->value);
}

// Runs f on the current window's drawing (if the current window is a graphics window) under
// the contents' lock.
template <class F>
void QtPlatform::on_drawing(F f) {
  check();
  std::lock_guard lock(contents_.mu);
  const auto it = contents_.drawings.find(unit_);
  if (it != contents_.drawings.end()) f(*it->second);
}

// Records an operation on the current window's drawing; `changes`: what it does shows, so the
// windows are repainted.
void QtPlatform::draw(DrawOp op, bool changes) {
  bool drawn = false;
  on_drawing([&](Drawing& d) {
    d.add(std::move(op));
    drawn = true;
  });
  if (drawn && changes) changed();
}

// Asks the window thread to repaint, unless a request is already waiting: the repaint shows
// everything written up to then, so one pending request is enough. Repaints come at most every
// refresh_interval: a picture cleared for the next conductor before its turn is then not drawn
// at all (nothing could have shown it), which spares the computation the time of drawing the
// cross-section of every conductor of a many-conductor problem. The run's end repaints at once.
void QtPlatform::changed() {
  if (link_->refresh_pending.exchange(true)) return;
  std::shared_ptr<Link> link = link_;
  FrameWindow* frame = &frame_;
  QMetaObject::invokeMethod(
      frame,
      [frame, link] {
        using std::chrono::steady_clock;
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(link->next_refresh - steady_clock::now());
        QTimer::singleShot(std::max(0, static_cast<int>(wait.count())), frame, [frame, link] {
          link->refresh_pending = false;
          link->next_refresh = steady_clock::now() + refresh_interval;
          frame->refresh();
        });
      },
      Qt::QueuedConnection);
}

void QtPlatform::set_about_text(const std::string& text) {
  const BackToComputation back;
  const QString t = QString::fromStdString(text);
  post([t](FrameWindow& f) { f.set_about(t); });
}

void QtPlatform::maximise_window(int unit) {
  const BackToComputation back;
  post([unit](FrameWindow& f) { f.maximise(unit); });
}

PixelSize QtPlatform::query_window_size() {
  const BackToComputation back;
  const int unit = unit_;
  const QSize s = ask<QSize>([unit](FrameWindow& f) { return f.child_size(unit); });
  if (!s.isEmpty()) child_size_ = s;
  return {s.width(), s.height()};
}

void QtPlatform::close_default_window() {
  const BackToComputation back;
  post([](FrameWindow& f) { f.close_child(default_unit); });
  if (unit_ == default_unit) unit_ = frame_window;
}

void QtPlatform::open_window(int unit, const std::string& title) {
  const BackToComputation back;
  check();
  if (unit != text_unit) {
    std::lock_guard lock(contents_.mu);
    auto& drawing = contents_.drawings[unit];
    if (!drawing) drawing = std::make_unique<Drawing>(child_size_);
  }
  unit_ = unit;
  const QString t = QString::fromStdString(title);
  post([unit, t](FrameWindow& f) { f.open_child(unit, t); });
}

void QtPlatform::tile_windows() {
  const BackToComputation back;
  post([](FrameWindow& f) { f.tile(); });
}

void QtPlatform::set_font(const std::string& options) {
  const BackToComputation back;
  draw(DrawOp(OpKind::font, 0, {}, {}, options), false);
}

void QtPlatform::clear_window() {
  const BackToComputation back;
  check();
  if (unit_ == text_unit) {
    {
      std::lock_guard lock(contents_.mu);
      contents_.text.clear();
      if (!first_row.empty()) {
        contents_.text.set_position(1, 2);
        contents_.text.write(first_row);
      }
    }
    changed();
    return;
  }
  draw(DrawOp(OpKind::clear));
}

void QtPlatform::clear_viewport() {
  const BackToComputation back;
  draw(DrawOp(OpKind::clear_viewport));
}

void QtPlatform::activate(int unit) {
  const BackToComputation back;
  check();
  unit_ = unit;
}

void QtPlatform::set_viewport(const PixelRect& r) {
  const BackToComputation back;
  on_drawing([&](Drawing& d) { d.set_viewport(r); });
}

bool QtPlatform::set_world_window(WorldPoint p1, WorldPoint p2) {
  const BackToComputation back;
  // Without a picture the answer is still the window system's rule.
  bool ok = valid_world_window(p1, p2);
  on_drawing([&](Drawing& d) { ok = d.set_world_window(p1, p2); });
  return ok;
}

void QtPlatform::set_colour(Colour c) {
  const BackToComputation back;
  draw(DrawOp(OpKind::colour, static_cast<int>(c)), false);
}

void QtPlatform::set_line_style(LineStyle s) {
  const BackToComputation back;
  draw(DrawOp(OpKind::line_style, static_cast<int>(s)), false);
}

void QtPlatform::move_to(WorldPoint p) {
  const BackToComputation back;
  draw(DrawOp(OpKind::move, 0, p), false);
}

void QtPlatform::line_to(WorldPoint p) {
  const BackToComputation back;
  draw(DrawOp(OpKind::line, 0, p));
}

void QtPlatform::arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end) {
  const BackToComputation back;
  // The arc and its rays under one lock: a repaint between the two would find the arc without
  // its rays, draw nothing and move on past it, leaving the arc out of the picture shown.
  bool drawn = false;
  on_drawing([&](Drawing& d) {
    d.add(DrawOp(OpKind::arc, 0, b1, b2));
    d.add(DrawOp(OpKind::arc_rays, 0, start, end));
    drawn = true;
  });
  if (drawn) changed();
}

void QtPlatform::ellipse(WorldPoint b1, WorldPoint b2) {
  const BackToComputation back;
  draw(DrawOp(OpKind::ellipse, 0, b1, b2));
}

void QtPlatform::rectangle(Fill f, PixelPoint p1, PixelPoint p2) {
  const BackToComputation back;
  draw(DrawOp(OpKind::rectangle, static_cast<int>(f),
              {static_cast<double>(p1.x), static_cast<double>(p1.y)},
              {static_cast<double>(p2.x), static_cast<double>(p2.y)}));
}

PixelPoint QtPlatform::world_to_pixels(WorldPoint p) {
  const BackToComputation back;
  PixelPoint q{};
  on_drawing([&](Drawing& d) {
    double x, y;
    world_to_view(d.state(), p, x, y);
    q = {saturate(x), saturate(y)};
  });
  return q;
}

void QtPlatform::move_to_pixels(PixelPoint p) {
  const BackToComputation back;
  draw(DrawOp(OpKind::move_pixels, 0, {static_cast<double>(p.x), static_cast<double>(p.y)}), false);
}

void QtPlatform::draw_text(const std::string& text) {
  const BackToComputation back;
  draw(DrawOp(OpKind::text, 0, {}, {}, text));
}

void QtPlatform::set_text_position(int row, int column) {
  const BackToComputation back;
  check();
  std::lock_guard lock(contents_.mu);
  contents_.text.set_position(row, column);
}

void QtPlatform::write_text(const std::string& text) {
  const BackToComputation back;
  check();
  {
    std::lock_guard lock(contents_.mu);
    contents_.text.write(text);
  }
  changed();
}

void QtPlatform::report_matrix(const std::string& label, std::span<const double> a, int m) {
  const BackToComputation back;
  check();
  std::lock_guard lock(contents_.mu);
  contents_.matrix = {label, m, std::vector<double>(a.begin(), a.end())};
}

std::string QtPlatform::select_input_file() {
  const BackToComputation back;
  check();
  if (unattended_) return {};
  return ask<std::string>([](FrameWindow& f) { return f.choose_input_file(); });
}

void QtPlatform::message_box(const std::string& text, const std::string& caption) {
  const BackToComputation back;
  check();
  if (unattended_) {
    print_message(caption + ": " + text);
    return;
  }
  const QString t = QString::fromStdString(text), c = QString::fromStdString(caption);
  ask<bool>([t, c](FrameWindow& f) {
    f.show_error(t, c);
    return true;
  });
}

}  // namespace ostrel::gui
