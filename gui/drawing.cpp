#include "gui/drawing.hpp"

#include <algorithm>
#include <cmath>

#include "gui/canvas.hpp"

namespace ostrel::gui {

namespace {

bool inside(const PixelRect& inner, const PixelRect& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

// Sets the canvas to a recorded state.
void apply(const DrawState& s, Canvas& c) {
  c.set_viewport(s.view);
  c.set_world_window(s.w1, s.w2);
  c.set_colour(s.colour);
  c.set_line_mask(s.mask);
  c.set_font(s.font);
  c.move_to(s.at);
  c.move_to_pixels(s.text_at);
}

// Draws one operation; `ops` and `k` give the arc's rays after it.
void draw(const std::vector<DrawOp>& ops, std::size_t k, Canvas& c) {
  const DrawOp& op = ops[k];
  switch (op.kind) {
    case OpKind::clear:
      c.clear();
      break;
    case OpKind::clear_viewport:
      c.clear_viewport();
      break;
    case OpKind::colour:
      c.set_colour(op.i);
      break;
    case OpKind::line_style:
      c.set_line_mask(static_cast<std::uint16_t>(op.i));
      break;
    case OpKind::font:
      c.set_font(op.text);
      break;
    case OpKind::move:
      c.move_to(op.a);
      break;
    case OpKind::line:
      c.line_to(op.a);
      break;
    case OpKind::arc:
      if (k + 1 < ops.size() && ops[k + 1].kind == OpKind::arc_rays)
        c.arc(op.a, op.b, ops[k + 1].a, ops[k + 1].b);
      break;
    case OpKind::arc_rays:
      break;
    case OpKind::ellipse:
      c.ellipse(op.a, op.b);
      break;
    case OpKind::rectangle:
      c.rectangle(static_cast<Fill>(op.i), {saturate(op.a.x), saturate(op.a.y)},
                  {saturate(op.b.x), saturate(op.b.y)});
      break;
    case OpKind::move_pixels:
      c.move_to_pixels({saturate(op.a.x), saturate(op.a.y)});
      break;
    case OpKind::text:
      c.draw_text(op.text);
      break;
  }
}

}  // namespace

void follow(DrawState& s, const DrawOp& op) {
  switch (op.kind) {
    case OpKind::colour:
      s.colour = op.i;
      break;
    case OpKind::line_style:
      s.mask = static_cast<std::uint16_t>(op.i);
      break;
    case OpKind::font:
      s.font = op.text;
      break;
    case OpKind::move:
    case OpKind::line:
      s.at = op.a;
      break;
    case OpKind::move_pixels:
      s.text_at = {saturate(op.a.x), saturate(op.a.y)};
      break;
    default:
      break;
  }
}

bool valid_world_window(WorldPoint p1, WorldPoint p2) {
  return std::isfinite(p1.x) && std::isfinite(p1.y) && std::isfinite(p2.x) && std::isfinite(p2.y) &&
         p1.x != p2.x && p1.y != p2.y;
}

int saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

Drawing::Drawing(QSize size) : size_(size.expandedTo(QSize(1, 1))) {
  now_.view = {0, 0, size_.width() - 1, size_.height() - 1};
  segments_.push_back({now_, {}});
}

QSize Drawing::used() const {
  if (!any_viewport_) return size_;
  const int w = std::clamp(used_.right + 1, 1, size_.width());
  const int h = std::clamp(used_.bottom + 1, 1, size_.height());
  return {w, h};
}

std::size_t Drawing::count() const {
  std::size_t n = 0;
  for (const Segment& s : segments_)
    n += s.ops.size();
  return n;
}

void Drawing::set_viewport(const PixelRect& r) {
  now_.view = r;
  if (!any_viewport_) {
    used_ = r;
    any_viewport_ = true;
  } else {
    used_ = {std::min(used_.left, r.left), std::min(used_.top, r.top),
             std::max(used_.right, r.right), std::max(used_.bottom, r.bottom)};
  }
  start_segment();
}

void Drawing::start_segment() {
  if (segments_.back().ops.empty())
    segments_.back().start = now_;
  else
    segments_.push_back({now_, {}});
}

bool Drawing::set_world_window(WorldPoint p1, WorldPoint p2) {
  if (!valid_world_window(p1, p2)) return false;
  now_.w1 = p1;
  now_.w2 = p2;
  // Recorded as state: the next operation's segment starts from it.
  start_segment();
  return true;
}

void Drawing::add(DrawOp op) {
  switch (op.kind) {
    case OpKind::clear:
      segments_.clear();
      segments_.push_back({now_, {}});
      ++generation_;
      break;
    case OpKind::clear_viewport: {
      const PixelRect v = now_.view;
      std::erase_if(segments_, [&](const Segment& s) { return inside(s.start.view, v); });
      segments_.push_back({now_, {}});
      ++generation_;
      break;
    }
    default:
      follow(now_, op);
      break;
  }
  segments_.back().ops.push_back(std::move(op));
}

bool arc_angles(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end, ArcAngles& out) {
  // Arc rays closer than this (radians) are one ray: the arc is the whole ellipse.
  constexpr double same_ray = 1e-9;
  const BoxEllipse el = box_ellipse(b1, b2);
  // The ellipse point (rx cos t, ry sin t) lies on the ray (dx, dy) where
  // tan t = (dy / ry) / (dx / rx); written without divisions so flat boxes stay finite.
  const double s = std::atan2((start.y - el.cy) * el.rx, (start.x - el.cx) * el.ry);
  const double e = std::atan2((end.y - el.cy) * el.rx, (end.x - el.cx) * el.ry);
  if (!std::isfinite(s) || !std::isfinite(e)) return false;
  double sweep = std::fmod(e - s, two_pi);
  if (sweep < 0) sweep += two_pi;
  if (sweep < same_ray || sweep > two_pi - same_ray) sweep = two_pi;
  out = {s, sweep};
  return true;
}

void render(const Drawing& d, Canvas& canvas, RenderMark& mark) {
  const auto& segs = d.segments();
  if (mark.generation != d.generation() || mark.segment > segs.size()) {
    canvas.clear();
    mark = {d.generation(), 0, 0};
  }
  for (; mark.segment < segs.size(); ++mark.segment, mark.op = 0) {
    const Segment& s = segs[mark.segment];
    if (mark.op == 0) apply(s.start, canvas);
    for (; mark.op < s.ops.size(); ++mark.op)
      draw(s.ops, mark.op, canvas);
    if (mark.segment + 1 == segs.size()) break;  // more may come in this segment
  }
}

}  // namespace ostrel::gui
