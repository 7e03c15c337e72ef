// The frame window of the windowed program: a multiple-document area holding the child windows
// of the units, the menus and shortcuts of the application around the runs (open, run again,
// stop, save and export the results and the picture, copy, the window list, help), a status
// bar with the run's phase, progress and elapsed time, and the window system's dialogs.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/identity.hpp"
#include "gui/window_contents.hpp"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;

namespace ostrel::gui {

class RunThread;

/// Title of the default child window that the frame opens with.
inline constexpr const char* default_window_title = application_name;

/// Every member runs on the window thread. The frame opens with the default child window
/// (unit 0) maximised in its area; child windows show the text page (unit 10) or the picture of
/// their unit from the shared contents. One run at a time goes on a worker thread.
class FrameWindow : public QMainWindow {
 public:
  /// `unattended`: nobody answers questions (the snapshot mode and the tests): closing during
  /// a run stops it without asking, and message boxes go to standard error.
  FrameWindow(WindowContents& contents, bool unattended);
  ~FrameWindow() override;

  // The window operations of a run.

  /// Maximises the frame (frame_window) or the child window of a unit; unknown units: nothing.
  void maximise(int unit);
  /// The pixel size of the drawing area of a unit's child window; for the default unit once it
  /// is closed, the area's (the size it would have maximised); empty for an unknown unit.
  QSize child_size(int unit) const;
  /// Closes the child window of a unit.
  void close_child(int unit);
  /// Opens (or re-titles, and shows again if closed) the child window of a unit: the text page
  /// for unit 10, else the unit's picture. Shows and activates it.
  void open_child(int unit, const QString& title);
  /// Arranges the open child windows side by side in the order they were opened, each the
  /// area's full height.
  void tile();
  /// The About box's first line (the run's banner).
  void set_about(const QString& text) { about_ = text; }
  /// Brings the child windows up to date with the contents.
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

  // The application around the runs.

  /// Starts a run of `files` (input [result], as on the command line) unless one is going
  /// (then says so in the status bar and returns false). Clears the text, the pictures and the
  /// matrix first. `next_to_problem`: the run's folder becomes the problem file's, so that the
  /// log and the result file go next to it, and the text window says so; otherwise the current
  /// folder stays.
  bool start_run(const std::vector<std::string>& files, bool next_to_problem);
  /// Opens a problem file as File > Open does: remembered among the recent files and run with
  /// its files next to it.
  bool open_problem(const QString& path);
  /// Runs the last problem again with the same files.
  bool run_again();
  /// Stops the run going (nothing when none): it ends cleanly, its scratch file removed.
  void stop_run();
  bool running() const;
  /// Writes a copy of the last result file to `path`; false (and a message) when it fails.
  bool save_results(const QString& path);
  /// Writes the reported matrix as CSV (full precision, headers by conductor number).
  bool export_csv(const QString& path);
  /// Writes the plots window's picture: SVG (vector, from the recorded operations) when the
  /// name ends in .svg, PNG otherwise (as large as shown, at the screen's pixel density).
  bool save_picture(const QString& path);
  /// The reported matrix as tab-separated rows (full precision), also put on the clipboard.
  QString copy_matrix();
  /// The exit status of the last run (0 before any).
  int last_status() const { return last_status_; }
  /// The named action of the menus ("open", "run_again", "stop", "save_results", "export_csv",
  /// "save_picture", "copy_matrix", "copy", "select_all", "quit", "help", "about",
  /// "show_text", "show_plots"), or null.
  QAction* action(const std::string& name) const;

  /// Answers the file dialogs of the menus: a caption, a filter, whether it saves, and a
  /// suggested name; returns the chosen name or "" when cancelled. Tests replace it.
  std::function<QString(const QString&, const QString&, bool, const QString&)> file_dialog;
  /// Called on the window thread when a run has ended, with its exit status.
  std::function<void(int)> on_run_ended;
  /// Called when the frame window has been closed.
  std::function<void()> on_close;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  WindowContents& contents_;
  bool unattended_;
  QMdiArea* area_;
  std::map<int, QPointer<QMdiSubWindow>> children_;
  QString about_;
  std::unique_ptr<RunThread> runner_;
  std::map<std::string, QAction*> actions_;
  QMenu* recent_menu_ = nullptr;
  QLabel* phase_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* elapsed_ = nullptr;
  QElapsedTimer clock_;
  QTimer ticker_;
  std::vector<std::string> files_;  // the last run's files
  bool next_to_problem_ = false;
  QString run_folder_;   // the last run's folder
  QString result_path_;  // its result file
  int last_status_ = 0;
  bool stopped_ = false;  // the last run was stopped

  QAction* add_action(QMenu* menu, const std::string& name, const QString& text,
                      const QKeySequence& key, std::function<void()> f);
  void build_menus();
  void update_actions();
  void update_recent();
  void remember_recent(const QString& path);
  void tick();
  void run_ended(int status);
  void append_text_line(const QString& line);
  QString ask_file(const QString& caption, const QString& filter, bool save,
                   const QString& suggested);
  // The problem file dialog of File > Open and of a session started without files.
  QString ask_problem_file();
  // The name a save dialog suggests: the last problem's base name (else `fallback`), `suffix`.
  QString suggested_name(const QString& fallback, const QString& suffix) const;
  // Says in the status bar that a run is going, when one is; returns whether one is.
  bool refused_while_running();
  // Shows a child window again, with its widget, and activates it.
  void show_child(QMdiSubWindow* w);
  void complain(const QString& text);
  void help();
  void about();
};

}  // namespace ostrel::gui
