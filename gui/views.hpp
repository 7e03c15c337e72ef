// The widgets inside the two child windows: the text window's rows and a graphics window's
// picture, both painted from the shared window contents.
#pragma once

#include <QFont>
#include <QScrollArea>
#include <QWidget>
#include <mutex>

#include "gui/canvas.hpp"
#include "gui/text_page.hpp"

namespace ostrel::gui {

/// The text window: the page's rows in a fixed-pitch font, black on white, one line per row,
/// inside a scroll area that follows the cursor row.
class TextView : public QScrollArea {
 public:
  TextView(std::mutex& mu, const TextPage& page, QWidget* parent = nullptr);
  /// Fits the page widget to the rows and columns written so far, scrolls the cursor row into
  /// view when it has moved (the user may scroll elsewhere in between) and repaints. Window
  /// thread; O(1) but the lock.
  void refresh();

 private:
  class Page;
  Page* page_;
  int cursor_top_ = -1;  // the cursor row's top when last scrolled into view
};

/// A graphics window: the part of its picture in use at one pixel per pixel from the top-left
/// corner, inside a scroll area (a window smaller than that scrolls).
class CanvasView : public QScrollArea {
 public:
  CanvasView(std::mutex& mu, const Canvas& canvas, QWidget* parent = nullptr);
  /// Repaints from the picture. Window thread.
  void refresh();

 private:
  class Picture;
  Picture* picture_;
};

}  // namespace ostrel::gui
