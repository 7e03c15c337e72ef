#include "gui/views.hpp"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cmath>

namespace ostrel::gui {

namespace {

// Point size of the text window's font: a readable terminal size.
constexpr int text_points = 10;
// Smallest fraction of its size a picture is shrunk to in a small window (it is cut below).
constexpr double smallest_fit = 0.25;

}  // namespace

TextView::TextView(std::mutex& mu, const TextPage& page, QWidget* parent)
    : QPlainTextEdit(parent), mu_(mu), page_(page) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(text_points);
  setFont(font);
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  QPalette p = palette();
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::Text, Qt::black);
  setPalette(p);
  refresh();
}

void TextView::refresh() {
  std::vector<std::pair<int, QString>> rows;
  bool cleared = false;
  int cursor = 0;
  {
    std::lock_guard lock(mu_);
    cleared = page_.clears() != shown_clears_;
    if (cleared || page_.version() != shown_version_) {
      for (const auto& [row, text] : page_.rows())
        if (cleared || page_.row_version(row) > shown_version_) rows.emplace_back(row, text);
    }
    shown_version_ = page_.version();
    shown_clears_ = page_.clears();
    cursor = page_.row();
  }
  QTextDocument* doc = document();
  if (cleared || !rows.empty()) {
    QTextCursor c(doc);
    c.beginEditBlock();
    if (cleared) {
      c.select(QTextCursor::Document);
      c.removeSelectedText();
    }
    for (const auto& [row, text] : rows) {
      if (doc->blockCount() < row) {
        c.movePosition(QTextCursor::End);
        while (doc->blockCount() < row)
          c.insertBlock();
      }
      QTextCursor b(doc->findBlockByNumber(row - 1));
      b.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      b.insertText(text);
    }
    c.endEditBlock();
  }
  if (cursor != cursor_row_) {
    // Scroll values count lines: show the cursor row, keeping the user's place otherwise.
    QScrollBar* bar = verticalScrollBar();
    const int lines = std::max(1, viewport()->height() / fontMetrics().lineSpacing());
    if (cursor - 1 < bar->value())
      bar->setValue(cursor - 1);
    else if (cursor > bar->value() + lines)
      bar->setValue(cursor - lines);
    cursor_row_ = cursor;
  }
}

CanvasView::CanvasView(WindowContents& contents, int unit, QWidget* parent)
    : QWidget(parent), contents_(contents), unit_(unit) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(1, 1);
}

QSize CanvasView::sizeHint() const {
  std::lock_guard lock(contents_.mu);
  const auto it = contents_.drawings.find(unit_);
  return it == contents_.drawings.end() ? QSize(320, 240) : it->second->used();
}

void CanvasView::refresh() {
  if (!isVisible()) return;
  const double dpr = devicePixelRatioF();
  {
    std::lock_guard lock(contents_.mu);
    const auto it = contents_.drawings.find(unit_);
    if (it == contents_.drawings.end()) {
      canvas_.reset();
    } else {
      const Drawing& d = *it->second;
      const QSize used = d.used();
      const double fit =
          std::max(smallest_fit, std::min(static_cast<double>(width()) / used.width(),
                                          static_cast<double>(height()) / used.height()));
      if (!canvas_ || used != used_ || fit != fit_ || canvas_->scale() != fit * dpr) {
        canvas_ = std::make_unique<Canvas>(used, fit * dpr);
        mark_ = {};
        used_ = used;
        fit_ = fit;
      }
      gui::render(d, *canvas_, mark_);
      rendered_for_ = size();
    }
  }
  update();
}

QImage CanvasView::image() const {
  return canvas_ ? canvas_->image() : QImage();
}

QSize CanvasView::shown_size() const {
  if (!canvas_) return {};
  const double dpr = canvas_->scale() / fit_;
  return QSize(static_cast<int>(std::lround(canvas_->image().width() / dpr)),
               static_cast<int>(std::lround(canvas_->image().height() / dpr)));
}

void CanvasView::paintEvent(QPaintEvent* e) {
  // A size set while the widget was hidden arrives without a resize event.
  if (size() != rendered_for_) refresh();
  QPainter p(this);
  p.fillRect(e->rect(), palette().color(QPalette::Window));
  if (!canvas_) return;
  QImage im = canvas_->image();
  im.setDevicePixelRatio(canvas_->scale() / fit_);
  p.drawImage(QPointF(0, 0), im);
}

void CanvasView::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  refresh();
}

void CanvasView::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  refresh();
}

}  // namespace ostrel::gui
