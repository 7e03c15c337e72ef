// The widgets inside the two child windows: the text window's rows and a graphics window's
// picture, both shown from the shared window contents.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <mutex>

#include "gui/canvas.hpp"
#include "gui/drawing.hpp"
#include "gui/text_page.hpp"
#include "gui/window_contents.hpp"

namespace ostrel::gui {

/// The text window: the page's rows in a fixed-pitch font, black on white, one line per row,
/// read-only but selectable and copyable (keyboard, mouse and context menu); it follows the
/// cursor row as the run writes.
class TextView : public QPlainTextEdit {
 public:
  TextView(std::mutex& mu, const TextPage& page, QWidget* parent = nullptr);
  /// Brings the rows written since the last call into the window (all of them after a clear)
  /// and scrolls the cursor row into view when it has moved. Window thread; O(rows) under the
  /// lock to find the rows changed, O(rows changed) to show them.
  void refresh();

 private:
  std::mutex& mu_;
  const TextPage& page_;
  std::uint64_t shown_version_ = 0, shown_clears_ = 0;
  int cursor_row_ = 0;
};

/// A graphics window: its recorded picture rendered for the widget's size and device pixel
/// ratio, as large as fits with its shape kept, from the top-left corner.
class CanvasView : public QWidget {
 public:
  CanvasView(WindowContents& contents, int unit, QWidget* parent = nullptr);
  /// Renders what the run drew since the last call (all of it when the size changed) and
  /// repaints. Window thread.
  void refresh();
  /// The picture as it is shown (device pixels; null before the first refresh).
  QImage image() const;
  /// The logical pixels the picture takes in the widget.
  QSize shown_size() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  WindowContents& contents_;
  int unit_;
  std::unique_ptr<Canvas> canvas_;
  RenderMark mark_;
  QSize used_;          // the drawing's used part, logical, when the canvas was made
  double fit_ = 1;      // widget pixels per logical picture pixel
  QSize rendered_for_;  // the widget's size when last rendered
};

}  // namespace ostrel::gui
