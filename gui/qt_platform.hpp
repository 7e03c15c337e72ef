// The window-system operations of the windowed program, bound to Qt, for a run on a worker
// thread.
//
// The run calls these operations from its own thread. Drawing is recorded (no pixels are made
// on the run's thread) and text written into the shared window contents under their lock, and
// the window thread is asked to repaint; such requests are coalesced (at most one is pending
// at a time), so a run that writes a progress display at every step of a factorisation costs
// the window thread one repaint per turn of its event loop and the last text of every row is
// always shown. Operations on the windows themselves (maximise, open,
// close, tile) are handed to the window thread in order without waiting; the ones that return
// something (the window size, the file dialog, a message box) wait for the window thread's
// answer. Once the run is cancelled (Stop, a signal, or the user closed the frame window) every
// operation, including one waiting for an answer, throws RunCancelled.
#pragma once

#include <QSize>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "gui/frame_window.hpp"
#include "gui/window_contents.hpp"
#include "picture/platform.hpp"

namespace ostrel::gui {

/// Marks the upper halves of the AVX registers unused (vzeroupper, where the processor has
/// AVX). Qt's vectorised routines (filling an image, for one) may return with them in use, and
/// until they are cleared every SSE instruction of the computation pays a penalty on many x86
/// processors: the fill and the factorisation of a run took eight times as long here. Every
/// QtPlatform operation clears them before it returns to the computation, and the worker
/// thread, which starts with the window thread's state, clears them first. O(1).
void clear_upper_vector_state();

class QtPlatform final : public Platform {
 public:
  /// The platform of one run that shows `contents` in `frame`. `unattended` (the snapshot
  /// mode, where nobody can answer a dialog): the file dialog picks no file and message boxes
  /// go to standard error instead of waiting. Both must outlive the run.
  QtPlatform(WindowContents& contents, FrameWindow& frame, bool unattended);

  /// A line written at row 1 of the text window whenever the run clears it (the run's own
  /// lines start at row 2); empty: none. Set before the run starts.
  std::string first_row;

  /// Cancels the run: every later operation, and one waiting for the window thread, throws
  /// RunCancelled. Any thread; idempotent.
  void cancel();

  void set_about_text(const std::string& text) override;
  void maximise_window(int unit) override;
  PixelSize query_window_size() override;
  void close_default_window() override;
  void open_window(int unit, const std::string& title) override;
  void tile_windows() override;
  void set_font(const std::string& options) override;
  void clear_window() override;
  void clear_viewport() override;
  void activate(int unit) override;
  void set_viewport(const PixelRect& r) override;
  bool set_world_window(WorldPoint p1, WorldPoint p2) override;
  void set_colour(Colour c) override;
  void set_line_style(LineStyle s) override;
  void move_to(WorldPoint p) override;
  void line_to(WorldPoint p) override;
  void arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end) override;
  void ellipse(WorldPoint b1, WorldPoint b2) override;
  void rectangle(Fill f, PixelPoint p1, PixelPoint p2) override;
  PixelPoint world_to_pixels(WorldPoint p) override;
  void move_to_pixels(PixelPoint p) override;
  void draw_text(const std::string& text) override;
  void set_text_position(int row, int column) override;
  void write_text(const std::string& text) override;
  std::string select_input_file() override;
  void message_box(const std::string& text, const std::string& caption) override;
  void report_matrix(const std::string& label, std::span<const double> a, int m) override;

 private:
  // What the run and the window thread share besides the contents; kept alive by every
  // request still queued to the window thread.
  struct Link {
    std::mutex mu;
    std::condition_variable answered;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> refresh_pending{false};
    // When the window thread may repaint next (touched by the window thread only).
    std::chrono::steady_clock::time_point next_refresh{};
  };

  WindowContents& contents_;
  FrameWindow& frame_;
  bool unattended_;
  std::shared_ptr<Link> link_ = std::make_shared<Link>();
  int unit_ = default_unit;     // the current window
  QSize child_size_{640, 480};  // size of new pictures: the default child window's

  void check() const;
  template <class F>
  void post(F f);
  template <class R, class F>
  R ask(F f);
  void draw(DrawOp op, bool changes = true);
  template <class F>
  void on_drawing(F f);
  void changed();
};

}  // namespace ostrel::gui
