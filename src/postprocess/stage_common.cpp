#include "postprocess/stage_common.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <numeric>
#include <thread>
#include <vector>

#include "settings/language_table.h"

namespace quillon::postprocess {

void StageProgress::begin(std::string_view key, std::string_view defaultText) const {
  if (sink_) sink_->stageBegin(settings::Text(key, defaultText));
}

bool runEntityStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                    platform::ProgressSink* sink, const std::function<void(model::CEntity&)>& work) {
  const StageProgress stage(sink);
  stage.begin(key, defaultText);
  const uint32_t n = layer.recount();
  uint32_t i = 0;
  for (const auto& entity : layer) {
    ++i;
    work(*entity);
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(static_cast<uint64_t>(i) * 100 / n));
    }
  }
  stage.end();
  return true;
}

bool runPolylineStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                      platform::ProgressSink* sink, const std::function<void(model::CPolyLine&)>& work) {
  const auto polylineWork = [&](model::CEntity& entity) {
    if (entity.type() == model::EntityType::PolyLine) work(static_cast<model::CPolyLine&>(entity));
  };
  const uint32_t n = layer.recount();
  if (rangeParts(n, kMinPerPart) <= 1) return runEntityStage(layer, key, defaultText, sink, polylineWork);
  const StageProgress stage(sink);
  stage.begin(key, defaultText);
  std::vector<model::CEntity*> entities;
  entities.reserve(n);
  for (const auto& entity : layer) entities.push_back(entity.get());
  // A block on all cores, then its progress values and cancel checks in
  // order: the sink sees what the single loop shows it, and a cancel leaves
  // every polyline either worked on or untouched.
  constexpr size_t kBlock = size_t{1} << 15;
  for (size_t first = 0; first < entities.size(); first += kBlock) {
    const size_t count = std::min(kBlock, entities.size() - first);
    forEachRange(count, kMinPerPart, [&](size_t, size_t begin, size_t end) {
      for (size_t i = first + begin; i < first + end; ++i) polylineWork(*entities[i]);
    });
    if (!stage.hasSink()) continue;
    for (size_t i = first + 1; i <= first + count; ++i) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(static_cast<uint64_t>(i) * 100 / n));
    }
  }
  stage.end();
  return true;
}

namespace {
thread_local int rangeThreadLimit = 0;
thread_local const std::function<int()>* rangeSpareCores = nullptr;
}  // namespace

RangeThreadLimit::RangeThreadLimit(int threads, const std::function<int()>* spare)
    : previous_(rangeThreadLimit), previousSpare_(rangeSpareCores) {
  rangeThreadLimit = std::max(threads, 0);
  rangeSpareCores = spare;
}
RangeThreadLimit::~RangeThreadLimit() {
  rangeThreadLimit = previous_;
  rangeSpareCores = previousSpare_;
}

size_t rangeParts(size_t count, size_t minPerPart) {
  const unsigned hardware = std::thread::hardware_concurrency();
  size_t cores = hardware == 0 ? 1 : std::min<size_t>(hardware, 8);
  if (rangeThreadLimit > 0) {
    const int spare = rangeSpareCores != nullptr && *rangeSpareCores ? std::max(0, (*rangeSpareCores)()) : 0;
    cores = std::min<size_t>(cores, static_cast<size_t>(rangeThreadLimit) + static_cast<size_t>(spare));
  }
  if (count == 0) return 0;
  return std::clamp<size_t>(count / std::max<size_t>(minPerPart, 1), 1, cores);
}

void CellLists::finish() {
  if (cellOf_.empty()) return;
  int lx = cellOf_[0].first, hx = lx, ly = cellOf_[0].second, hy = ly;
  for (const auto& [cx, cy] : cellOf_) {
    lx = std::min(lx, cx);
    hx = std::max(hx, cx);
    ly = std::min(ly, cy);
    hy = std::max(hy, cy);
  }
  x0_ = lx;
  y0_ = ly;
  columns_ = int64_t{hx} - lx + 1;
  rows_ = int64_t{hy} - ly + 1;
  // A few cells per item at most, or a million: an end thrown far off
  // must not make the table huge.
  const int64_t items = static_cast<int64_t>(cellOf_.size());
  dense_ = columns_ <= (int64_t{1} << 30) / rows_ && columns_ * rows_ <= std::max<int64_t>(int64_t{1} << 20, 8 * items);
  items_.resize(cellOf_.size());
  if (dense_) {
    start_.assign(static_cast<size_t>(columns_ * rows_) + 1, 0);
    const auto cell = [&](const std::pair<int, int>& c) {
      return static_cast<size_t>((int64_t{c.second} - y0_) * columns_ + (int64_t{c.first} - x0_));
    };
    for (const auto& c : cellOf_) ++start_[cell(c) + 1];
    for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    std::vector<uint32_t> next(start_.begin(), start_.end() - 1);
    for (uint32_t i = 0; i < cellOf_.size(); ++i) items_[next[cell(cellOf_[i])]++] = i;
  } else {
    std::iota(items_.begin(), items_.end(), uint32_t{0});
    std::stable_sort(items_.begin(), items_.end(), [&](uint32_t a, uint32_t b) {
      return keyOf(cellOf_[a].first, cellOf_[a].second) < keyOf(cellOf_[b].first, cellOf_[b].second);
    });
    keys_.reserve(items_.size());
    for (const uint32_t i : items_) keys_.push_back(keyOf(cellOf_[i].first, cellOf_[i].second));
  }
  cellOf_.clear();
  cellOf_.shrink_to_fit();
}

std::span<const uint32_t> CellLists::at(int cx, int cy) const {
  if (items_.empty()) return {};
  if (dense_) {
    const int64_t gx = int64_t{cx} - x0_, gy = int64_t{cy} - y0_;
    if (gx < 0 || gy < 0 || gx >= columns_ || gy >= rows_) return {};
    const size_t cell = static_cast<size_t>(gy * columns_ + gx);
    return {items_.data() + start_[cell], start_[cell + 1] - start_[cell]};
  }
  const auto [first, last] = std::equal_range(keys_.begin(), keys_.end(), keyOf(cx, cy));
  return {items_.data() + (first - keys_.begin()), static_cast<size_t>(last - first)};
}

size_t forEachRange(size_t count, size_t minPerPart,
                    const std::function<void(size_t part, size_t begin, size_t end)>& work) {
  const size_t parts = rangeParts(count, minPerPart);
  if (parts <= 1) {
    if (count > 0) work(0, 0, count);
    return parts;
  }
  std::vector<std::exception_ptr> failures(parts);
  const auto run = [&](size_t part) {
    try {
      work(part, count * part / parts, count * (part + 1) / parts);
    } catch (...) {
      failures[part] = std::current_exception();
    }
  };
  std::vector<std::thread> workers;
  std::vector<size_t> unthreaded;
  workers.reserve(parts - 1);
  unthreaded.reserve(parts - 1);
  for (size_t part = 1; part < parts; ++part) {
    try {
      workers.emplace_back(run, part);
    } catch (const std::exception&) {
      unthreaded.push_back(part);  // no thread to be had
    }
  }
  run(0);
  for (std::thread& worker : workers) worker.join();
  for (const size_t part : unthreaded) run(part);
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  return parts;
}

void forEachItem(size_t count, size_t minPerPart, const std::function<void(size_t item)>& work) {
  std::atomic<size_t> next{0};
  forEachRange(count, minPerPart, [&](size_t, size_t, size_t) {
    for (size_t item = next.fetch_add(1, std::memory_order_relaxed); item < count;
         item = next.fetch_add(1, std::memory_order_relaxed))
      work(item);
  });
}

}  // namespace quillon::postprocess
