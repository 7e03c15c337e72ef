#include "gui/views.hpp"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace ostrel::gui {

namespace {

// Blank pixels left and above the text window's first row and column.
constexpr int text_margin = 4;
// Point size of the text window's font: a readable terminal size.
constexpr int text_points = 10;

}  // namespace

class TextView::Page : public QWidget {
 public:
  Page(std::mutex& mu, const TextPage& page) : mu_(mu), page_(page) {
    font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font_.setStyleHint(QFont::Monospace);
    font_.setFixedPitch(true);
    font_.setPointSize(text_points);
    setFont(font_);
    const QFontMetrics m(font_);
    line_ = m.height();
    cell_ = m.horizontalAdvance(QLatin1Char('0'));
    ascent_ = m.ascent();
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
  }

  int line() const { return line_; }

  // The size the rows need; the cursor row's top in pixels.
  QSize needed(int& cursor_top) {
    std::lock_guard lock(mu_);
    const int rows = page_.rows().empty() ? 0 : page_.rows().rbegin()->first;
    cursor_top = text_margin + (page_.row() - 1) * line_;
    return {2 * text_margin + page_.width() * cell_,
            2 * text_margin + std::max(rows, page_.row()) * line_};
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    p.setFont(font_);
    p.setPen(Qt::black);
    const int first = std::max(1, (e->rect().top() - text_margin) / line_ + 1);
    const int last = (e->rect().bottom() - text_margin) / line_ + 1;
    std::lock_guard lock(mu_);
    for (auto it = page_.rows().lower_bound(first); it != page_.rows().end() && it->first <= last;
         ++it)
      p.drawText(text_margin, text_margin + (it->first - 1) * line_ + ascent_, it->second);
  }

 private:
  std::mutex& mu_;
  const TextPage& page_;
  QFont font_;
  int line_ = 1, cell_ = 1, ascent_ = 0;
};

TextView::TextView(std::mutex& mu, const TextPage& page, QWidget* parent) : QScrollArea(parent) {
  page_ = new Page(mu, page);
  setWidget(page_);
  setWidgetResizable(false);
  setBackgroundRole(QPalette::Base);
  refresh();
}

void TextView::refresh() {
  int cursor_top = 0;
  const QSize size = page_->needed(cursor_top);
  if (page_->size() != size) page_->resize(size);
  if (cursor_top != cursor_top_) {
    ensureVisible(0, cursor_top + page_->line() / 2, 0, page_->line());
    cursor_top_ = cursor_top;
  }
  page_->update();
}

class CanvasView::Picture : public QWidget {
 public:
  Picture(std::mutex& mu, const Canvas& canvas) : mu_(mu), canvas_(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    fit();
  }

  // Takes the size of the part of the picture in use.
  void fit() {
    QSize s;
    {
      std::lock_guard lock(mu_);
      s = canvas_.used();
    }
    if (s != size()) setFixedSize(s);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    std::lock_guard lock(mu_);
    p.drawImage(e->rect(), canvas_.image(), e->rect());
  }

 private:
  std::mutex& mu_;
  const Canvas& canvas_;
};

CanvasView::CanvasView(std::mutex& mu, const Canvas& canvas, QWidget* parent)
    : QScrollArea(parent) {
  picture_ = new Picture(mu, canvas);
  setWidget(picture_);
  // The rest of the window in the picture's background colour.
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor::fromRgb(palette_colour(0)));
  setPalette(p);
  setBackgroundRole(QPalette::Window);
}

void CanvasView::refresh() {
  picture_->fit();
  picture_->update();
}

}  // namespace ostrel::gui
