#pragma once
// Traced paths: the hand-over from the tracing stages (centre line, outline)
// to polyline generation.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace quillon::trace {

// One traced point in pixel units, rows counted downwards from the top row 0.
// Centre-line points are pixel centres (integers), outline points pixel
// corners (integer + 0.5).
struct TracePoint {
  double x = 0.0;
  double y = 0.0;
  uint8_t flag = 0;  // reserved, always 0 in traced paths; copied with the point
};

inline bool operator==(const TracePoint& a, const TracePoint& b) {
  return a.x == b.x && a.y == b.y && a.flag == b.flag;
}

// An ordered list of points, front to back; the end points may be moved in
// place. A vector, because a drawing holds hundreds of thousands of short
// paths and a deque costs about a kilobyte each before its first point.
// pushFront shifts every point: tracers that grow a path backwards collect
// those points first and insert them in one go.
struct TracePath {
  std::vector<TracePoint> points;
  bool closed = false;          // closed contour: the last point lies on the first
  bool tailHorizontal = false;  // outline only: the segment ending at the last point is horizontal
  bool headHorizontal = false;  // outline only: the segment starting at the first point is horizontal
  bool hole = false;            // outline only: the contour bounds a hole

  std::size_t size() const { return points.size(); }
  bool empty() const { return points.empty(); }
  void pushBack(double x, double y) { points.push_back(TracePoint{x, y, 0}); }
  void pushFront(double x, double y) { points.insert(points.begin(), TracePoint{x, y, 0}); }
  // Frees the points (the path stays, empty).
  void release() { std::vector<TracePoint>().swap(points); }
};

// The traced paths in creation order. Paths live in a deque so that a
// reference to a path stays valid while later paths are appended.
class TracePathList {
 public:
  using Storage = std::deque<TracePath>;
  using iterator = Storage::iterator;
  using const_iterator = Storage::const_iterator;

  // Appends a new empty path and returns it.
  TracePath& append() { return paths_.emplace_back(); }
  // Removes the last path (no-op on an empty list).
  void removeLast() {
    if (!paths_.empty()) paths_.pop_back();
  }
  // Removes the first path (no-op on an empty list); the deque gives back
  // each block of paths once its last path is gone.
  void removeFirst() {
    if (!paths_.empty()) paths_.pop_front();
  }
  TracePath& front() { return paths_.front(); }
  void clear() {
    paths_.clear();
    lonePixels_.clear();
  }
  // Hands the lone pixels over; the list keeps none.
  std::vector<TracePoint> takeLonePixels() { return std::exchange(lonePixels_, {}); }

  // Skeleton pixels that stood alone (no path: thinning left one pixel of
  // a dot or a speck); refined centre lines look at them again.
  void addLonePixel(int x, int y) {
    lonePixels_.push_back(TracePoint{static_cast<double>(x), static_cast<double>(y), 0});
  }
  const std::vector<TracePoint>& lonePixels() const { return lonePixels_; }

  std::size_t size() const { return paths_.size(); }
  bool empty() const { return paths_.empty(); }
  TracePath& operator[](std::size_t i) { return paths_[i]; }
  const TracePath& operator[](std::size_t i) const { return paths_[i]; }
  TracePath& back() { return paths_.back(); }

  iterator begin() { return paths_.begin(); }
  iterator end() { return paths_.end(); }
  const_iterator begin() const { return paths_.begin(); }
  const_iterator end() const { return paths_.end(); }

 private:
  std::vector<TracePoint> lonePixels_;
  Storage paths_;
};

}  // namespace quillon::trace
