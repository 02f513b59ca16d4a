#pragma once
// Connect adjacent lines. A centre-line trace breaks strokes at every
// junction and gap of the skeleton; this stage gathers the ends of all
// polylines of a layer into clusters of ends that lie close to and in front
// of each other, joins inside each cluster the polylines that continue each
// other best, removes short thin spurs at T junctions, resolves the pair of
// close junctions the skeleton of a crossing produces, and finally closes
// every polyline whose two ends meet.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "model/layer.h"
#include "platform/memory.h"
#include "model/polyline.h"
#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::postprocess {

class EndCluster;

// One polyline end inside a cluster. The polyline's joinStart / joinEnd link
// points back at the member holding that end; a member whose polyline does
// not link back (or is consumed) no longer refers to it.
struct ClusterMember {
  model::CPolyLine* polyline = nullptr;
  uint32_t cluster = 0;  // its number in the index (EndIndex::cluster)
  int end = 0;           // 0 start, 1 end
};

// The members of one cluster, iterated as pointers: a run of consecutive
// places in the index's member order, each naming the slot of its member.
class MemberRange {
 public:
  struct iterator {
    ClusterMember* slots;
    const uint32_t* at;
    ClusterMember* operator*() const { return slots + *at; }
    iterator& operator++() {
      ++at;
      return *this;
    }
    bool operator!=(const iterator& other) const { return at != other.at; }
    bool operator==(const iterator& other) const { return at == other.at; }
  };
  MemberRange(ClusterMember* slots, const uint32_t* first, uint32_t count)
      : slots_(slots), first_(first), count_(count) {}
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  ClusterMember* front() const { return slots_ + first_[0]; }
  ClusterMember* operator[](size_t i) const { return slots_ + first_[i]; }
  iterator begin() const { return iterator{slots_, first_}; }
  iterator end() const { return iterator{slots_, first_ + count_}; }

 private:
  ClusterMember* slots_;
  const uint32_t* first_;
  uint32_t count_;
};

// Ends that lie close to and in front of each other. A noisy scan makes
// millions, so a cluster is kept small: where its members begin among the
// index's members (EndIndex::members) and how many there are.
class EndCluster {
 public:
  bool resolved = false;

 private:
  friend class EndIndex;
  uint32_t first_ = 0;
  uint32_t count_ = 0;
};

// A sparse grid of polyline ends: rows by ascending integer y, cells by
// ascending integer x, each cell any number of entries in the order they were
// entered. Entries are gathered unsorted and sorted once by seal(), which
// the connect stage calls before it searches; rows() and the look-ups need a
// sealed index. Besides the rows, a sealed index keeps every column's
// entries by ascending y, so that a search box growing by one cell per side
// reads only its new cells: one row or column segment per side. It belongs
// to one run (a trace of one drawing), so conversions of several drawings may
// run at the same time, each with its own index. It also owns the clusters
// and members the connect stage builds from it: every entry a cluster takes
// becomes its member in the entry's own slot once the clusters are gathered
// (formMembers), so that a noisy scan's millions of ends are not held twice.
class EndIndex {
 public:
  // An end: its polyline, which end, whether a cluster took it yet, and its
  // cell. The end and the mark live in the low bits of the polyline's
  // address, so that an entry takes 16 bytes (a noisy scan has millions).
  class Entry {
   public:
    // Unset: a sort's scratch array is written over right after it is sized.
    Entry() {}
    Entry(model::CPolyLine* polyline, int cellX, int cellY, int end)
        : bits_(reinterpret_cast<uintptr_t>(polyline) | static_cast<uintptr_t>(end & 1)), x(cellX), y(cellY) {}
    model::CPolyLine* polyline() const { return reinterpret_cast<model::CPolyLine*>(bits_ & ~uintptr_t{3}); }
    int end() const { return static_cast<int>(bits_ & 1); }
    bool visited() const { return (bits_ & 2) != 0; }
    void setVisited() { bits_ |= 2; }
    // Visited by cluster `number`. A visited entry's row is never read again
    // (searches pass over it by its column alone): the number takes its place.
    void take(uint32_t number) {
      setVisited();
      y = static_cast<int>(number);
    }
    uint32_t takenBy() const { return static_cast<uint32_t>(y); }

   private:
    uintptr_t bits_;

   public:
    int x;  // cell
    int y;
  };
  static_assert(alignof(model::CPolyLine) >= 4, "the low two address bits hold the end and the mark");
  static_assert(sizeof(Entry) == sizeof(ClusterMember) && alignof(Entry) >= alignof(ClusterMember),
                "a member is made in the slot of its entry");

  // One row (or column): positions [begin, end) of its entries, all with
  // this y (or x).
  struct Line {
    int key = 0;
    uint32_t begin = 0;
    uint32_t end = 0;
  };

  using EntryList = std::vector<Entry, platform::LargeArrayAllocator<Entry>>;

  // Forgets every entry, cluster and member and frees their storage.
  void clear();
  // Once every entry is taken: turns each entry into the member of the
  // cluster that took it, in its own slot (members() and the member
  // addresses newMember answered are valid from then on), and frees the
  // look-up tables.
  void formMembers();
  // Makes room for `ends` entries.
  void reserve(size_t ends) { entries_.reserve(ends); }
  // Enters an end at cell (floor(x), floor(y)); coordinates beyond about
  // ±1e9 (and NaN, as 0) are clamped so that cell arithmetic cannot overflow.
  void addEntry(double x, double y, int end, model::CPolyLine* polyline);
  // Sorts the entries by row and cell (entries of one cell keep their order)
  // and builds the row table, and the column table too when `columns` is set
  // (only the column look-ups need it). Throws std::bad_alloc when out of
  // memory (or with more than 2^32 - 1 entries).
  void seal(bool columns = true);

  size_t rowCount() const { return rows_.lines.size(); }
  size_t entryCount() const { return entries_.size(); }
  // Sealed index only: the rows by ascending y; entries() in row order.
  const std::vector<Line>& rows() const { return rows_.lines; }
  EntryList& entries() { return entries_; }
  // Sealed index only. Append to `out` the positions in entries() of the
  // entries not yet visited whose cell lies in row y, columns [x0, x1] (or in
  // column x, rows [y0, y1]), in ascending position.
  void unvisitedInRow(int y, int x0, int x1, std::vector<uint32_t>& out) const;
  void unvisitedInColumn(int x, int y0, int y1, std::vector<uint32_t>& out) const;
  // Cells [xLo, xHi] x [yLo, yHi].
  struct CellBox {
    int xLo, xHi, yLo, yHi;
  };
  // Sealed index only (no column table needed). Appends the positions of the
  // entries not yet visited whose cell lies in the box, in ascending position.
  void unvisitedInBox(const CellBox& box, std::vector<uint32_t>& out) const;
  // Sealed index only. Appends the positions of the entries not yet visited
  // whose cell lies in `now` but not in `was`, in ascending position. `now`
  // must hold `was` and reach at most one cell further on each side. When
  // every entry of `was` is visited, these are exactly the unvisited entries
  // of the ring of `now`, in the order a walk along its rows meets them.
  void unvisitedInGrowth(const CellBox& was, const CellBox& now, std::vector<uint32_t>& out) const;

  // A new cluster at the end of the cluster list. Its members are the ones
  // newMember makes until the next cluster is begun. Sealed index only.
  EndCluster& newCluster();
  // Takes the unvisited entry at `position` into the cluster; answers the
  // address its member will have once formMembers has made it.
  ClusterMember* newMember(uint32_t position, EndCluster& cluster);
  // In the order they were made. Clusters keep their address while the
  // index stays sealed.
  std::vector<EndCluster, platform::LargeArrayAllocator<EndCluster>>& clusters() { return clusters_; }
  EndCluster& cluster(uint32_t number) { return clusters_[number]; }
  MemberRange members(const EndCluster& cluster) {
    return MemberRange(memberSlots(), members_.data() + cluster.first_, cluster.count_);
  }
  uint32_t numberOf(const EndCluster& cluster) const { return static_cast<uint32_t>(&cluster - clusters_.data()); }

 private:
  // A row or column table with, when the keys span a small range, a direct
  // key-to-line look-up.
  struct Lines {
    std::vector<Line> lines;
    std::vector<int32_t> at;  // line of key base + i, or -1; empty: search lines
    int base = 0;
    const Line* find(int key) const;
  };

  ClusterMember* memberSlots() { return reinterpret_cast<ClusterMember*>(entries_.data()); }
  // Frees the tables only the look-ups need (the clusters and members do not).
  void freeLookUps();

  // The first entry of row `line` (its place in rows()) whose cell is x0 or
  // more, searched from where the row's last search ended.
  const Entry* firstInRowFrom(size_t line, int x0) const;

  EntryList entries_;
  // Per row: where its last search from a cell ended (a position in entries_).
  mutable std::vector<uint32_t> rowHints_;
  // The entries by column, then position, with their row at hand so that a
  // column is searched without touching the entries themselves.
  struct ColumnEntry {
    int y;
    uint32_t position;  // in entries()
  };
  std::vector<ColumnEntry> byColumn_;
  Lines rows_;
  Lines columns_;
  // Both reserved for one per entry when sealed, so that clusters keep their
  // address and each cluster's members lie side by side: members_ holds the
  // members' slots (positions in entries_) in the order they were taken.
  std::vector<EndCluster, platform::LargeArrayAllocator<EndCluster>> clusters_;
  std::vector<uint32_t, platform::LargeArrayAllocator<uint32_t>> members_;
};

// Joins b onto a (polyline slot JoinWith): a's end chosen by a.endSelector()
// meets b's end chosen by b.endSelector(). The joint is the intersection of
// the two end segments when it lies within 1.5·max(conDis, width) of both
// ends, else their midpoint when the lines nearly continue each other, the
// ends nearly touch at an obtuse angle, or forceMidpoint is set; otherwise
// the ends are bridged by a segment. When b is a, the polyline is closed
// through the midpoint of its ends. Cluster links of the two far ends move to
// the result. a and b are left empty and marked consumed. Null (nothing
// changed) when b is null or either polyline has fewer than 2 vertices.
std::unique_ptr<model::CPolyLine> joinPolylines(model::CPolyLine& a, model::CPolyLine* b, bool forceMidpoint,
                                                int conDis);

// The side of its line an end faces, as a connect search box clips to it:
// the direction (dx, dy) of the end's angle from the x axis, counter-clockwise
// in [0°, 360°), in sectors 0 (to 40° and beyond 320°), 1 (to 50°), 2 (to
// 130°), 3 (to 140°), 4 (to 220°), 5 (to 230°), 6 (to 310°) and 7 (to 320°),
// each sector holding its upper bound. endSectorByAngle works the angle out
// with atan2; endSector answers the same from the signs of four cross
// products and calls atan2 only within a hair of a bound.
int endSectorByAngle(double dx, double dy);
int endSector(double dx, double dy);

// The layer stage "Connect line" with the connect distance conDis
// (i_ConDis). Uses `index` when given (the run's index, which polyline
// generation may have filled; it is cleared first), else one of its own.
// Polylines are taken out of the layer while the stage works and come back
// at its end, joined ones as new polylines; other entities stay in place.
// False when cancelled (finished(10)) or out of memory (finished(2)); either
// way every polyline not yet joined or deleted returns to the layer.
// `plain` grows every search box ring by ring through empty cells instead of
// jumping from one nearby end to the next (same result, for checking).
// Refined centre lines pass the raster as refinedGaps: ends with more than
// two pixels of white between them are then never paired (dashes stay apart).
// A polyline that comes back shorter than dropShorterThan (0: none), closed
// where its ends meet, is deleted instead: for the short-line deletion that
// follows, which would delete it anyway (a noisy scan returns a million).
// noneShorter (when given) is set when the layer then holds nothing but
// such polylines, each measured in its final shape (its stored length is
// that shape's) and none shorter: the short-line deletion has nothing to do.
bool connectLayer(model::CLayer& layer, int conDis, platform::ProgressSink* sink, EndIndex* index = nullptr,
                  const raster::CRaster* refinedGaps = nullptr, bool plain = false, int dropShorterThan = 0,
                  bool* noneShorter = nullptr);

}  // namespace quillon::postprocess
