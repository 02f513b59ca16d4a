#include "postprocess/stage_common.h"

#include <algorithm>
#include <cstdint>
#include <exception>
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

}  // namespace quillon::postprocess
