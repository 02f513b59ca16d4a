#pragma once
// Connect adjacent lines. A centre-line trace breaks strokes at every
// junction and gap of the skeleton; this stage gathers the ends of all
// polylines of a layer into clusters of ends that lie close to and in front
// of each other, joins inside each cluster the polylines that continue each
// other best, removes short thin spurs at T junctions, resolves the pair of
// close junctions the skeleton of a crossing produces, and finally closes
// every polyline whose two ends meet.

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "model/layer.h"
#include "model/polyline.h"
#include "platform/progress.h"

namespace quillon::postprocess {

class EndCluster;

// One polyline end inside a cluster. The polyline's joinStart / joinEnd link
// points back at the member holding that end; a member whose polyline does
// not link back (or is consumed) no longer refers to it.
struct ClusterMember {
  model::CPolyLine* polyline = nullptr;
  int end = 0;  // 0 start, 1 end
  EndCluster* cluster = nullptr;
};

// Ends that lie close to and in front of each other.
class EndCluster {
 public:
  std::vector<ClusterMember*> members;
  bool resolved = false;
};

// A sparse grid of polyline ends: rows by ascending integer y, cells by
// ascending integer x, each cell any number of entries in the order they were
// entered. Entries are gathered unsorted and sorted once by seal(), which
// the connect stage calls before it searches; rows() and the cell look-ups
// need a sealed index. It belongs to one run (a trace of one drawing), so
// conversions of several drawings may run at the same time, each with its
// own index. It also owns the clusters and members the connect stage builds
// from it.
class EndIndex {
 public:
  struct Entry {
    model::CPolyLine* polyline = nullptr;
    int x = 0;  // cell
    int y = 0;
    int end = 0;
    bool visited = false;
  };
  // One row: the entries [begin, end) of entries(), all with this y.
  struct Row {
    int y = 0;
    size_t begin = 0;
    size_t end = 0;
  };

  // Forgets every entry, cluster and member.
  void clear();
  // Enters an end at cell (floor(x), floor(y)).
  void addEntry(double x, double y, int end, model::CPolyLine* polyline);
  // Sorts the entries by row and cell (entries of one cell keep their order)
  // and builds the row table.
  void seal();

  size_t rowCount() const { return rows_.size(); }
  size_t entryCount() const { return entries_.size(); }
  // Sealed index only.
  const std::vector<Row>& rows() const { return rows_; }
  std::vector<Entry>& entries() { return entries_; }
  // The first row with y >= y0 (rows().end() when none).
  std::vector<Row>::const_iterator firstRowFrom(int y0) const;
  // Entries [first, last) of `row` whose cell x lies in [x0, x1].
  std::pair<size_t, size_t> cellRange(const Row& row, int x0, int x1) const;

  // A new cluster, put at the front of the cluster list.
  EndCluster& newCluster();
  ClusterMember& newMember(model::CPolyLine* polyline, int end, EndCluster& cluster);
  // Front to back: the most recently created cluster first.
  std::deque<EndCluster>& clusters() { return clusters_; }

 private:
  std::vector<Entry> entries_;
  std::vector<Row> rows_;
  std::deque<EndCluster> clusters_;
  std::deque<ClusterMember> members_;  // deque: members keep their address
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

// The layer stage "Connect line" with the connect distance conDis
// (i_ConDis). Uses `index` when given (the run's index, which polyline
// generation may have filled; it is cleared first), else one of its own.
// Polylines are taken out of the layer while the stage works and come back
// at its end, joined ones as new polylines; other entities stay in place.
// False when cancelled (finished(10)) or out of memory (finished(2)); either
// way every polyline not yet joined or deleted returns to the layer.
bool connectLayer(model::CLayer& layer, int conDis, platform::ProgressSink* sink, EndIndex* index = nullptr);

}  // namespace quillon::postprocess
