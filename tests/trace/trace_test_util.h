#pragma once
// Small 1-bit rasters drawn as text for the trace tests: '#' is ink, anything
// else background; every line is one row, top row first.

#include <string>
#include <vector>

#include "raster/raster.h"
#include "trace/trace_path.h"

namespace quillon::trace::testing {

inline bool MakeRaster(raster::CRaster& raster, const std::vector<std::string>& rows) {
  const int height = static_cast<int>(rows.size());
  int width = 0;
  for (const std::string& row : rows) width = std::max(width, static_cast<int>(row.size()));
  if (!raster.create(width, height, 1)) return false;
  for (int y = 0; y < height; ++y) {
    const std::string& row = rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < static_cast<int>(row.size()); ++x) {
      if (row[static_cast<std::size_t>(x)] == '#') raster.setBit(x, y, true);
    }
  }
  return true;
}

inline std::vector<std::string> Picture(const raster::CRaster& raster) {
  std::vector<std::string> rows;
  for (int y = 0; y < raster.height(); ++y) {
    std::string row;
    for (int x = 0; x < raster.width(); ++x) row += raster.bitAt(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

// "(x,y) (x,y) ..." of a path, for readable comparisons.
inline std::string PathText(const TracePath& path) {
  std::string text;
  for (const TracePoint& point : path.points) {
    if (!text.empty()) text += ' ';
    text += '(' + std::to_string(static_cast<int>(point.x)) + ',' + std::to_string(static_cast<int>(point.y)) + ')';
  }
  return text;
}

inline std::vector<std::string> PathTexts(const TracePathList& paths) {
  std::vector<std::string> texts;
  for (const TracePath& path : paths) texts.push_back(PathText(path));
  return texts;
}

}  // namespace quillon::trace::testing
