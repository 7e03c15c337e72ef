// The frame window of the windowed program: a multiple-document area holding the child windows
// of the units, a menu (tile, cascade, About) and the window system's dialogs.
#pragma once

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "gui/window_contents.hpp"

namespace ostrel::gui {

/// Title of the default child window that the frame opens with.
inline constexpr const char* default_window_title = "OSTREL";

/// Every member runs on the window thread. The frame opens with the default child window
/// (unit 0) maximised in its area; child windows show the text page (unit 10) or the canvas of
/// their unit from the shared contents.
class FrameWindow : public QMainWindow {
 public:
  explicit FrameWindow(WindowContents& contents);

  /// Maximises the frame (frame_window) or the child window of a unit; unknown units: nothing.
  void maximise(int unit);
  /// The pixel size of the drawing area of a unit's child window (empty for an unknown unit).
  QSize child_size(int unit) const;
  /// Closes the child window of a unit.
  void close_child(int unit);
  /// Opens (or re-titles) the child window of a unit: the text page for unit 10, else the
  /// unit's canvas, which must exist in the contents (asserted). Shows and activates it.
  void open_child(int unit, const QString& title);
  /// Arranges the open child windows side by side in the order they were opened, each the
  /// area's full height.
  void tile();
  /// The About box's text.
  void set_about(const QString& text) { about_ = text; }
  /// Repaints the child windows from the contents.
  void refresh();
  /// The child window of a unit, or null.
  QMdiSubWindow* child(int unit) const;
  QMdiArea* area() const { return area_; }
  /// What the child windows show.
  WindowContents& contents() const { return contents_; }

  /// The input file picked in a file dialog ("" when none): a modal dialog.
  std::string choose_input_file();
  /// A modal box with the error icon, a text and a caption; returns when it is closed.
  void show_error(const QString& text, const QString& caption);

  /// Called when the user closes the frame window, before it goes.
  std::function<void()> on_close;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  WindowContents& contents_;
  QMdiArea* area_;
  std::map<int, QPointer<QMdiSubWindow>> children_;
  QString about_;

  void about();
};

}  // namespace ostrel::gui
