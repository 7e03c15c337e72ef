#include "gui/frame_window.hpp"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <cassert>

#include "gui/views.hpp"
#include "picture/platform.hpp"

namespace ostrel::gui {

FrameWindow::FrameWindow(WindowContents& contents) : contents_(contents) {
  setWindowTitle(QStringLiteral("OSTREL"));
  area_ = new QMdiArea(this);
  setCentralWidget(area_);

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("E&xit"), this, &QWidget::close);
  QMenu* window = menuBar()->addMenu(tr("&Window"));
  window->addAction(tr("&Tile"), this, &FrameWindow::tile);
  window->addAction(tr("&Cascade"), area_, &QMdiArea::cascadeSubWindows);
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("&About OSTREL"), this, &FrameWindow::about);

  // The default child window, maximised, as the window system opens a program with it.
  QMdiSubWindow* first = area_->addSubWindow(new QWidget);
  first->setWindowTitle(QString::fromLatin1(default_window_title));
  children_[default_unit] = first;
  first->showMaximized();
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
  return w && w->widget() ? w->widget()->size() : QSize();
}

void FrameWindow::close_child(int unit) {
  if (QMdiSubWindow* w = child(unit)) w->close();
  children_.erase(unit);
}

void FrameWindow::open_child(int unit, const QString& title) {
  QMdiSubWindow* w = child(unit);
  if (!w) {
    QWidget* view = nullptr;
    if (unit == text_unit) {
      view = new TextView(contents_.mu, contents_.text);
    } else {
      const Canvas* canvas = nullptr;
      {
        std::lock_guard lock(contents_.mu);
        const auto it = contents_.canvases.find(unit);
        assert(it != contents_.canvases.end());
        canvas = it->second.get();
      }
      view = new CanvasView(contents_.mu, *canvas);
    }
    w = area_->addSubWindow(view);
    children_[unit] = w;
  }
  w->setWindowTitle(title);
  w->show();
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
  const QString name = QFileDialog::getOpenFileName(this, tr("Open a problem file"), QString(),
                                                    tr("Problem files (*.inp);;All files (*)"));
  return QFile::encodeName(name).toStdString();
}

void FrameWindow::show_error(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
  box.exec();
}

void FrameWindow::about() {
  QMessageBox::about(this, tr("About OSTREL"), about_);
}

void FrameWindow::closeEvent(QCloseEvent* e) {
  if (on_close) on_close();
  e->accept();
}

}  // namespace ostrel::gui
