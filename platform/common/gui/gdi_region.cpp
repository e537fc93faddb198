// Regions as disjoint rectangles. Combining works on the grid of all edges of
// both operands: each grid cell is either wholly in or wholly out of each
// operand, so the result is exact. Regions here hold a handful of
// rectangles, so the quadratic cost does not matter.
#include <algorithm>

#include "platform/gdi.h"

namespace platform {

Region Region::FromRect(const Rect& r) {
  Region region;
  if (!r.IsEmpty()) region.rects_.push_back(r);
  return region;
}

bool Region::Contains(int32_t x, int32_t y) const {
  for (const Rect& r : rects_)
    if (r.Contains({x, y})) return true;
  return false;
}

Rect Region::Bounds() const {
  if (rects_.empty()) return {};
  Rect b = rects_.front();
  for (const Rect& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

void Region::Offset(int32_t dx, int32_t dy) {
  for (Rect& r : rects_) r = r.Offset(dx, dy);
}

Region::Complexity Region::CombineFrom(const Region& a, const Region& b, Combine mode) {
  if (mode < kAnd || mode > kCopy) return kError;
  std::vector<Rect> out;
  if (mode == kCopy) {
    out = a.rects_;
  } else {
    std::vector<int32_t> xs, ys;
    for (const Region* r : {&a, &b})
      for (const Rect& q : r->rects_) {
        xs.push_back(q.left);
        xs.push_back(q.right);
        ys.push_back(q.top);
        ys.push_back(q.bottom);
      }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    for (size_t j = 0; j + 1 < ys.size(); ++j) {
      // Runs of included cells on this band become one rectangle each;
      // a run that continues the band above with the same span grows it.
      size_t i = 0;
      while (i + 1 < xs.size()) {
        auto inside = [&](size_t k) {
          bool in_a = a.Contains(xs[k], ys[j]), in_b = b.Contains(xs[k], ys[j]);
          switch (mode) {
            case kAnd:
              return in_a && in_b;
            case kOr:
              return in_a || in_b;
            case kXor:
              return in_a != in_b;
            default:
              return in_a && !in_b;
          }
        };
        if (!inside(i)) {
          ++i;
          continue;
        }
        size_t k = i;
        while (k + 1 < xs.size() && inside(k)) ++k;
        Rect run{xs[i], ys[j], xs[k], ys[j + 1]};
        bool merged = false;
        for (Rect& r : out)
          if (r.bottom == run.top && r.left == run.left && r.right == run.right) {
            r.bottom = run.bottom;
            merged = true;
            break;
          }
        if (!merged) out.push_back(run);
        i = k;
      }
    }
  }
  rects_ = std::move(out);
  if (rects_.empty()) return kNullRegion;
  return rects_.size() == 1 ? kSimpleRegion : kComplexRegion;
}

}  // namespace platform
