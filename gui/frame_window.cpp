#include "gui/frame_window.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cassert>

#include "base/halt.hpp"
#include "driver/banner.hpp"
#include "driver/options.hpp"
#include "gui/identity.hpp"
#include "gui/input_hint.hpp"
#include "gui/licence_text.hpp"
#include "gui/run_thread.hpp"
#include "gui/svg_picture.hpp"
#include "gui/views.hpp"
#include "picture/platform.hpp"
#include "picture/windows.hpp"

// The resources (the icon) of a static library are registered by hand, outside any namespace.
static void register_resources() {
  Q_INIT_RESOURCE(ostrel_gui);
}

namespace ostrel::gui {

namespace {

// Recent files kept in the File menu.
constexpr int recent_count = 8;
// How often the status bar follows the run (milliseconds): a few times a second reads well.
constexpr int tick_ms = 250;
// How long a status bar message stays (milliseconds).
constexpr int message_ms = 8000;
// Digits that give a double back exactly (std::numeric_limits<double>::max_digits10).
constexpr int full_digits = 17;
// Settings keys.
const char* const key_geometry = "window/geometry";
const char* const key_state = "window/state";
const char* const key_recent = "files/recent";
const char* const key_folder = "files/folder";

QString full(double v) {
  return QString::number(v, 'g', full_digits);
}

// The matrix as rows of values separated by `sep`, with headers by conductor number when
// `headers`.
QString matrix_rows(const ReportedMatrix& a, QChar sep, bool headers) {
  QString s;
  if (headers) {
    s += QStringLiteral("conductor");
    for (int j = 1; j <= a.m; ++j)
      s += sep + QString::number(j);
    s += QLatin1Char('\n');
  }
  for (int i = 0; i < a.m; ++i) {
    if (headers) s += QString::number(i + 1) + sep;
    for (int j = 0; j < a.m; ++j)
      s += (j ? QString(sep) : QString()) + full(a.at(i, j));
    s += QLatin1Char('\n');
  }
  return s;
}

// The progress figure of a progress display: "NN%" at its end, or "solving I of M".
int progress_percent(const QString& row) {
  static const QRegularExpression percent(QStringLiteral("(\\d+)%\\s*$"));
  static const QRegularExpression of(QStringLiteral("(\\d+)\\s+of\\s+(\\d+)"));
  if (const auto m = percent.match(row); m.hasMatch()) return m.captured(1).toInt();
  if (const auto m = of.match(row); m.hasMatch() && m.captured(2).toInt() > 0)
    return 100 * m.captured(1).toInt() / m.captured(2).toInt();
  return -1;
}

// Keeps a child window's widget filling it. A child window maximised after it was placed by
// hand keeps its widget at the old size here (its layout does not lay out again), so after
// every resize the widget is fitted to the window, inside the frame and below the title bar
// that its own position shows.
class FillChild : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Resize || e->type() == QEvent::WindowStateChange) {
      QPointer<QMdiSubWindow> w = static_cast<QMdiSubWindow*>(o);
      QTimer::singleShot(0, this, [w] {
        if (!w || !w->widget()) return;
        const QRect g = w->widget()->geometry();
        const QRect fill(g.x(), g.y(), w->width() - 2 * g.x(), w->height() - g.y() - g.x());
        if (!fill.isValid() || fill == g) return;
        w->widget()->setGeometry(fill);
        if (auto* c = dynamic_cast<CanvasView*>(w->widget())) c->refresh();
      });
    }
    return false;
  }
};

}  // namespace

FrameWindow::FrameWindow(WindowContents& contents, bool unattended)
    : contents_(contents), unattended_(unattended) {
  register_resources();
  setWindowTitle(QString::fromLatin1(application_name));
  setWindowIcon(QIcon(QStringLiteral(":/ostrel/ostrel-gui.svg")));
  setAcceptDrops(true);
  area_ = new QMdiArea(this);
  setCentralWidget(area_);
  runner_ = std::make_unique<RunThread>(contents_, *this);
  build_menus();

  phase_ = new QLabel(tr("Ready"));
  progress_ = new QProgressBar;
  progress_->setMaximumWidth(200);
  progress_->setVisible(false);
  elapsed_ = new QLabel;
  statusBar()->addWidget(phase_, 1);
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(elapsed_);
  ticker_.setInterval(tick_ms);
  connect(&ticker_, &QTimer::timeout, this, [this] { tick(); });

  // The default child window, maximised, as the window system opens a program with it.
  QMdiSubWindow* first = area_->addSubWindow(new QWidget);
  first->setWindowTitle(QString::fromLatin1(default_window_title));
  children_[default_unit] = first;
  first->showMaximized();

  if (!unattended_) {
    const QSettings settings;
    restoreGeometry(settings.value(key_geometry).toByteArray());
    restoreState(settings.value(key_state).toByteArray());
  }
  update_recent();
  update_actions();
}

FrameWindow::~FrameWindow() {
  // The run's thread uses this window: it ends before the window goes.
  runner_->stop_and_wait();
}

QAction* FrameWindow::add_action(QMenu* menu, const std::string& name, const QString& text,
                                 const QKeySequence& key, std::function<void()> f) {
  QAction* a = menu->addAction(text);
  if (!key.isEmpty()) a->setShortcut(key);
  connect(a, &QAction::triggered, this, [f] { f(); });
  actions_[name] = a;
  return a;
}

QAction* FrameWindow::action(const std::string& name) const {
  const auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

void FrameWindow::build_menus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  add_action(file, "open", tr("&Open..."), QKeySequence::Open, [this] {
    const QString name = ask_problem_file();
    if (!name.isEmpty()) open_problem(name);
  });
  recent_menu_ = file->addMenu(tr("Open &Recent"));
  add_action(file, "run_again", tr("&Run Again"), QKeySequence(Qt::Key_F5),
             [this] { run_again(); });
  add_action(file, "stop", tr("&Stop"), QKeySequence(Qt::Key_Escape), [this] { stop_run(); });
  file->addSeparator();
  add_action(file, "save_results", tr("Save Results &As..."), QKeySequence::SaveAs, [this] {
    const QString name =
        ask_file(tr("Save the result file as"), tr("Result files (*.osl);;All files (*)"), true,
                 QFileInfo(result_path_).fileName());
    if (!name.isEmpty()) save_results(name);
  });
  add_action(file, "export_csv", tr("&Export Matrix as CSV..."), QKeySequence(), [this] {
    const QString name = ask_file(tr("Export the matrix as CSV"), tr("CSV files (*.csv)"), true,
                                  suggested_name(QStringLiteral("matrix"), QStringLiteral(".csv")));
    if (!name.isEmpty()) export_csv(name);
  });
  add_action(file, "save_picture", tr("Save &Picture as..."), QKeySequence(), [this] {
    const QString name =
        ask_file(tr("Save the plots as a picture"), tr("SVG pictures (*.svg);;PNG images (*.png)"),
                 true, suggested_name(QStringLiteral("plots"), QStringLiteral(".svg")));
    if (!name.isEmpty()) save_picture(name);
  });
  file->addSeparator();
  add_action(file, "quit", tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  const auto text_view = [this]() -> QPlainTextEdit* {
    QMdiSubWindow* w = child(text_unit);
    return w ? qobject_cast<QPlainTextEdit*>(w->widget()) : nullptr;
  };
  add_action(edit, "copy", tr("&Copy"), QKeySequence::Copy, [text_view] {
    if (QPlainTextEdit* t = text_view()) t->copy();
  });
  add_action(edit, "select_all", tr("Select &All"), QKeySequence::SelectAll, [text_view] {
    if (QPlainTextEdit* t = text_view()) t->selectAll();
  });
  add_action(edit, "copy_matrix", tr("Copy &Matrix as Tab-Separated Text"),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { copy_matrix(); });

  QMenu* window = menuBar()->addMenu(tr("&Window"));
  const auto toggle = [this](int unit) {
    QMdiSubWindow* w = child(unit);
    if (!w) return;
    if (w->isVisible()) {
      w->close();
    } else {
      show_child(w);
      refresh();
    }
  };
  QAction* text = add_action(window, "show_text", QString::fromLatin1(text_window_title),
                             QKeySequence(Qt::CTRL | Qt::Key_1), [toggle] { toggle(text_unit); });
  QAction* plots =
      add_action(window, "show_plots", QString::fromLatin1(graphics_window_title),
                 QKeySequence(Qt::CTRL | Qt::Key_2), [toggle] { toggle(graphics_unit); });
  text->setCheckable(true);
  plots->setCheckable(true);
  connect(window, &QMenu::aboutToShow, this, [this] { update_actions(); });
  window->addSeparator();
  window->addAction(tr("&Tile"), this, &FrameWindow::tile);
  window->addAction(tr("&Cascade"), area_, &QMdiArea::cascadeSubWindows);

  QMenu* help_menu = menuBar()->addMenu(tr("&Help"));
  add_action(help_menu, "help", tr("OSTREL &Help"), QKeySequence::HelpContents, [this] { help(); });
  add_action(help_menu, "about", tr("&About OSTREL"), QKeySequence(), [this] { about(); });
}

void FrameWindow::update_actions() {
  const bool run = running();
  bool matrix = false;
  {
    std::lock_guard lock(contents_.mu);
    matrix = contents_.matrix.m > 0;
  }
  actions_["open"]->setEnabled(!run);
  recent_menu_->setEnabled(!run);
  actions_["run_again"]->setEnabled(!run && !files_.empty());
  actions_["stop"]->setEnabled(run);
  actions_["save_results"]->setEnabled(!run && matrix && QFileInfo::exists(result_path_));
  actions_["export_csv"]->setEnabled(!run && matrix);
  actions_["copy_matrix"]->setEnabled(!run && matrix);
  actions_["save_picture"]->setEnabled(child(graphics_unit) != nullptr);
  for (const auto& [name, unit] :
       {std::pair{"show_text", text_unit}, {"show_plots", graphics_unit}}) {
    QMdiSubWindow* w = child(unit);
    actions_[name]->setEnabled(w != nullptr);
    actions_[name]->setChecked(w && w->isVisible());
  }
}

void FrameWindow::update_recent() {
  recent_menu_->clear();
  const QStringList recent = QSettings().value(key_recent).toStringList();
  for (const QString& path : recent) {
    QAction* a = recent_menu_->addAction(QDir::toNativeSeparators(path));
    connect(a, &QAction::triggered, this, [this, path] { open_problem(path); });
  }
  recent_menu_->addSeparator();
  QAction* clear = recent_menu_->addAction(tr("&Clear List"));
  clear->setEnabled(!recent.isEmpty());
  connect(clear, &QAction::triggered, this, [this] {
    QSettings().remove(key_recent);
    update_recent();
  });
}

void FrameWindow::remember_recent(const QString& path) {
  QSettings settings;
  QStringList recent = settings.value(key_recent).toStringList();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > recent_count)
    recent.removeLast();
  settings.setValue(key_recent, recent);
  settings.setValue(key_folder, QFileInfo(path).absolutePath());
  update_recent();
}

QMdiSubWindow* FrameWindow::child(int unit) const {
  const auto it = children_.find(unit);
  return it == children_.end() ? nullptr : it->second.data();
}

void FrameWindow::maximise(int unit) {
  if (unit == frame_window) {
    if (!isMaximized()) showMaximized();
  } else if (QMdiSubWindow* w = child(unit)) {
    w->showMaximized();
  }
}

QSize FrameWindow::child_size(int unit) const {
  const QMdiSubWindow* w = child(unit);
  if (!w && unit == default_unit) return area_->viewport()->size();
  return w && w->widget() ? w->widget()->size() : QSize();
}

void FrameWindow::close_child(int unit) {
  if (QMdiSubWindow* w = child(unit)) {
    w->setAttribute(Qt::WA_DeleteOnClose, true);
    w->close();
  }
  children_.erase(unit);
}

void FrameWindow::open_child(int unit, const QString& title) {
  QMdiSubWindow* w = child(unit);
  if (!w) {
    QWidget* view = nullptr;
    if (unit == text_unit)
      view = new TextView(contents_.mu, contents_.text);
    else
      view = new CanvasView(contents_, unit);
    w = area_->addSubWindow(view);
    // Closing a child window hides it: the Window menu brings it back.
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->installEventFilter(new FillChild(w));
    children_[unit] = w;
  }
  w->setWindowTitle(title);
  show_child(w);
  update_actions();
}

void FrameWindow::show_child(QMdiSubWindow* w) {
  // Closing a child window hid its widget as well: both come back.
  w->show();
  w->widget()->show();
  area_->setActiveSubWindow(w);
}

void FrameWindow::tile() {
  QList<QMdiSubWindow*> shown;
  for (QMdiSubWindow* w : area_->subWindowList(QMdiArea::CreationOrder))
    if (w->isVisible()) shown.push_back(w);
  const int n = static_cast<int>(shown.size());
  const QRect r = area_->viewport()->rect();
  for (int i = 0; i < n; ++i) {
    shown[i]->showNormal();
    const int left = r.width() * i / n, right = r.width() * (i + 1) / n;
    shown[i]->setGeometry(left, 0, right - left, r.height());
  }
}

void FrameWindow::refresh() {
  for (const auto& [unit, w] : children_) {
    if (!w) continue;
    if (auto* t = dynamic_cast<TextView*>(w->widget()))
      t->refresh();
    else if (auto* c = dynamic_cast<CanvasView*>(w->widget()))
      c->refresh();
  }
}

std::string FrameWindow::choose_input_file() {
  return QFile::encodeName(ask_problem_file()).toStdString();
}

QString FrameWindow::ask_problem_file() {
  return ask_file(tr("Open a problem file"), tr("Problem files (*.inp);;All files (*)"), false,
                  QString());
}

QString FrameWindow::suggested_name(const QString& fallback, const QString& suffix) const {
  return QFileInfo(files_.empty() ? fallback : QString::fromStdString(files_[0]))
             .completeBaseName() +
         suffix;
}

void FrameWindow::show_error(const QString& text, const QString& caption) {
  if (unattended_) {
    print_message(caption.toStdString() + ": " + text.toStdString());
    return;
  }
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
  box.exec();
}

void FrameWindow::complain(const QString& text) {
  statusBar()->showMessage(text, message_ms);
  if (unattended_)
    print_message(text.toStdString());
  else
    QMessageBox::warning(this, QString::fromLatin1(application_name), text);
}

QString FrameWindow::ask_file(const QString& caption, const QString& filter, bool save,
                              const QString& suggested) {
  if (file_dialog) return file_dialog(caption, filter, save, suggested);
  if (unattended_) return {};
  QSettings settings;
  const QString folder = settings.value(key_folder, QDir::currentPath()).toString();
  const QString start = suggested.isEmpty() ? folder : QDir(folder).filePath(suggested);
  const QString name = save ? QFileDialog::getSaveFileName(this, caption, start, filter)
                            : QFileDialog::getOpenFileName(this, caption, start, filter);
  if (!name.isEmpty()) settings.setValue(key_folder, QFileInfo(name).absolutePath());
  return name;
}

bool FrameWindow::running() const {
  return runner_->running();
}

bool FrameWindow::refused_while_running() {
  if (!running()) return false;
  statusBar()->showMessage(tr("A run is going: stop it (Esc) before starting another."),
                           message_ms);
  return true;
}

bool FrameWindow::start_run(const std::vector<std::string>& files, bool next_to_problem) {
  if (refused_while_running()) return false;
  {
    std::lock_guard lock(contents_.mu);
    contents_.text.clear();
    contents_.drawings.clear();
    contents_.matrix = {};
  }
  refresh();
  std::vector<std::string> run_files = files;
  std::string first_row;
  if (next_to_problem && !files.empty()) {
    const QFileInfo problem(QFile::decodeName(files[0].c_str()));
    run_files[0] = QFile::encodeName(problem.absoluteFilePath()).toStdString();
    if (!QDir::setCurrent(problem.absolutePath())) {
      complain(tr("Cannot enter the folder %1").arg(problem.absolutePath()));
      return false;
    }
    first_row = "ostrel.log and result.osl are written next to the problem file, in " +
                QFile::encodeName(QDir::toNativeSeparators(problem.absolutePath())).toStdString();
  }
  files_ = files;
  next_to_problem_ = next_to_problem;
  run_folder_ = QDir::currentPath();
  result_path_ =
      QDir(run_folder_)
          .absoluteFilePath(run_files.size() == 2 ? QFile::decodeName(run_files[1].c_str())
                                                  : "result.osl");
  stopped_ = false;
  const QString name =
      files.empty() ? QString() : QFileInfo(QFile::decodeName(files[0].c_str())).fileName();
  const QString application = QString::fromLatin1(application_name);
  setWindowTitle(name.isEmpty() ? application : name + QStringLiteral(" \u2014 ") + application);
  runner_->start(run_files, first_row, unattended_, [this](int status) { run_ended(status); });
  clock_.start();
  phase_->setText(tr("Running %1").arg(name));
  progress_->setRange(0, 0);
  progress_->setVisible(true);
  ticker_.start();
  tick();
  update_actions();
  return true;
}

bool FrameWindow::open_problem(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !info.isReadable()) {
    QFile probe(path);
    probe.open(QIODevice::ReadOnly);
    complain(tr("Cannot open the problem file %1: %2")
                 .arg(QDir::toNativeSeparators(path),
                      info.isDir() ? tr("it is a folder") : probe.errorString()));
    return false;
  }
  if (refused_while_running()) return false;
  remember_recent(info.absoluteFilePath());
  return start_run({QFile::encodeName(info.absoluteFilePath()).toStdString()}, true);
}

bool FrameWindow::run_again() {
  if (files_.empty()) return false;
  if (next_to_problem_) return open_problem(QFile::decodeName(files_[0].c_str()));
  return start_run(files_, false);
}

void FrameWindow::stop_run() {
  if (!running()) return;
  stopped_ = true;
  phase_->setText(tr("Stopping..."));
  runner_->stop();
}

void FrameWindow::append_text_line(const QString& line) {
  {
    std::lock_guard lock(contents_.mu);
    int row = contents_.text.row();
    if (!contents_.text.text(row).isEmpty()) ++row;
    contents_.text.set_position(row, 2);
    contents_.text.write(line.toStdString());
    contents_.text.set_position(row + 1, 2);
  }
  refresh();
}

void FrameWindow::run_ended(int status) {
  last_status_ = status;
  ticker_.stop();
  progress_->setVisible(false);
  refresh();
  const QString time = tr("%1 s").arg(clock_.elapsed() / 1000.0, 0, 'f', 1);
  if (stopped_) {
    append_text_line(tr("run stopped"));
    phase_->setText(tr("Run stopped after %1").arg(time));
  } else if (status == 0) {
    phase_->setText(tr("Done in %1: %2").arg(time, QDir::toNativeSeparators(result_path_)));
  } else {
    const std::string hint = files_.empty() ? std::string() : console_style_hint(files_[0]);
    if (!hint.empty()) {
      append_text_line(QString::fromStdString(hint));
      if (unattended_) print_message(hint);
    }
    phase_->setText(hint.empty() ? tr("The run stopped with exit status %1").arg(status)
                                 : QString::fromStdString(hint));
  }
  elapsed_->setText(time);
  update_actions();
  if (on_run_ended) on_run_ended(status);
}

void FrameWindow::tick() {
  QString row;
  {
    std::lock_guard lock(contents_.mu);
    row = contents_.text.text(contents_.text.last_written()).trimmed();
  }
  const int percent = progress_percent(row);
  if (percent >= 0) {
    progress_->setRange(0, 100);
    progress_->setValue(std::clamp(percent, 0, 100));
  } else {
    progress_->setRange(0, 0);
  }
  if (!row.isEmpty() && !stopped_) phase_->setText(row);
  elapsed_->setText(tr("%1 s").arg(clock_.elapsed() / 1000));
}

bool FrameWindow::save_results(const QString& path) {
  if (!QFileInfo::exists(result_path_)) {
    complain(tr("There is no result file to save."));
    return false;
  }
  if (QFileInfo(path).absoluteFilePath() == QFileInfo(result_path_).absoluteFilePath()) return true;
  QFile in(result_path_);
  QSaveFile out(path);
  if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) ||
      out.write(in.readAll()) < 0 || !out.commit()) {
    complain(tr("Cannot save the results as %1: %2")
                 .arg(QDir::toNativeSeparators(path),
                      in.error() != QFile::NoError ? in.errorString() : out.errorString()));
    return false;
  }
  statusBar()->showMessage(tr("Results saved as %1").arg(QDir::toNativeSeparators(path)),
                           message_ms);
  return true;
}

bool FrameWindow::export_csv(const QString& path) {
  QString text;
  {
    std::lock_guard lock(contents_.mu);
    if (contents_.matrix.m > 0) text = matrix_rows(contents_.matrix, QLatin1Char(','), true);
  }
  if (text.isEmpty()) {
    complain(tr("There is no matrix to export: run a problem first."));
    return false;
  }
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Text) || out.write(text.toUtf8()) < 0 ||
      !out.commit()) {
    complain(tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), out.errorString()));
    return false;
  }
  statusBar()->showMessage(tr("Matrix exported to %1").arg(QDir::toNativeSeparators(path)),
                           message_ms);
  return true;
}

QString FrameWindow::copy_matrix() {
  QString text;
  {
    std::lock_guard lock(contents_.mu);
    if (contents_.matrix.m > 0) text = matrix_rows(contents_.matrix, QLatin1Char('\t'), false);
  }
  if (text.isEmpty()) {
    statusBar()->showMessage(tr("There is no matrix to copy: run a problem first."), message_ms);
    return text;
  }
  QApplication::clipboard()->setText(text);
  statusBar()->showMessage(tr("Matrix copied as tab-separated text."), message_ms);
  return text;
}

bool FrameWindow::save_picture(const QString& path) {
  QMdiSubWindow* w = child(graphics_unit);
  auto* view = w ? dynamic_cast<CanvasView*>(w->widget()) : nullptr;
  QSaveFile out(path);
  bool ok = false;
  if (view && out.open(QIODevice::WriteOnly)) {
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
      std::string svg;
      {
        std::lock_guard lock(contents_.mu);
        const auto it = contents_.drawings.find(graphics_unit);
        if (it != contents_.drawings.end()) svg = svg_picture(*it->second);
      }
      ok = !svg.empty() && out.write(svg.data(), static_cast<qint64>(svg.size())) >= 0;
    } else {
      view->refresh();
      const QImage im = view->image();
      ok = !im.isNull() && im.save(&out, "PNG");
    }
    ok = ok && out.commit();
  }
  if (!ok) {
    complain(tr("Cannot save the picture as %1%2")
                 .arg(QDir::toNativeSeparators(path),
                      view ? QStringLiteral(": ") + out.errorString() : tr(": no plots yet")));
    return false;
  }
  statusBar()->showMessage(tr("Picture saved as %1").arg(QDir::toNativeSeparators(path)),
                           message_ms);
  return true;
}

void FrameWindow::help() {
  QDialog dialog(this);
  dialog.setWindowTitle(tr("OSTREL Help"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(QString::fromStdString(usage_text(true)));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  text->setFont(font);
  const QFontMetrics m(font);
  text->setMinimumSize(m.horizontalAdvance(QLatin1Char('0')) * 96, m.lineSpacing() * 30);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.exec();
}

void FrameWindow::about() {
  QMessageBox box(this);
  box.setWindowTitle(tr("About OSTREL"));
  box.setIconPixmap(windowIcon().pixmap(64, 64));
  const QString banner = about_.isEmpty() ? QString::fromStdString(banner_line()) : about_;
  box.setText(QStringLiteral("<b>%1</b><br>%2<br><br>%3")
                  .arg(QString::fromStdString(version_text(true))
                           .section(QLatin1Char('\n'), 0, 0)
                           .toHtmlEscaped(),
                       banner.toHtmlEscaped(),
                       tr("Released under the MIT licence (see the details).")));
  box.setDetailedText(QString::fromUtf8(licence_text));
  box.exec();
}

void FrameWindow::closeEvent(QCloseEvent* e) {
  if (running()) {
    if (!unattended_ && QMessageBox::question(this, QString::fromLatin1(application_name),
                                              tr("A run is going. Stop it and close OSTREL?")) !=
                            QMessageBox::Yes) {
      e->ignore();
      return;
    }
    stopped_ = true;
    runner_->stop_and_wait();
    last_status_ = exit_failure;
  }
  if (!unattended_) {
    QSettings settings;
    settings.setValue(key_geometry, saveGeometry());
    settings.setValue(key_state, saveState());
  }
  e->accept();
  if (on_close) on_close();
}

void FrameWindow::dragEnterEvent(QDragEnterEvent* e) {
  const QMimeData* d = e->mimeData();
  if (d->hasUrls() && !d->urls().isEmpty() && d->urls().front().isLocalFile())
    e->acceptProposedAction();
}

void FrameWindow::dropEvent(QDropEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  e->acceptProposedAction();
  open_problem(urls.front().toLocalFile());
}

}  // namespace ostrel::gui
