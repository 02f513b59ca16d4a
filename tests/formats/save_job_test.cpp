// The save job: format table, stored destination size, progress values, the
// atomic replace of the target, the worker thread and the modified flag.

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "formats/save_job.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/solid.h"
#include "platform/key_value_store.h"
#include "support/test_support.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;

constexpr const char* kOption = "Software\\Marrowby\\Quillon\\Option";

void AddLines(CGraph& g, int count) {
  if (!g.currentLayer()) g.setCurrentLayerByName("Trace");
  for (int i = 0; i < count; ++i) g.addEntity(std::make_unique<CLine>(Point3{0, double(i), 0}, Point3{10, double(i), 0}));
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FormatTable, IndicesNamesAndExtensions) {
  ASSERT_EQ(OutputFormats().size(), 9u);
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(OutputFormats()[i - 1].index, i);
  EXPECT_EQ(FormatForIndex(0).index, 1);
  EXPECT_EQ(FormatForIndex(10).index, 1);
  EXPECT_EQ(FormatForIndex(-3).index, 1);
  EXPECT_EQ(FormatForIndex(8).extension, ".svgz");
  ASSERT_NE(FindFormatByName("DXF-R10"), nullptr);
  EXPECT_EQ(FindFormatByName("DXF-R10")->index, 7);
  EXPECT_EQ(FindFormatByName("plt")->index, 3);
  EXPECT_EQ(FindFormatByName("dwg"), nullptr);
  EXPECT_EQ(FindFormatByExtension(".DXF")->index, 1);
  EXPECT_EQ(FindFormatByExtension(".cgm")->index, 9);
  EXPECT_EQ(FindFormatByExtension(".png"), nullptr);
  EXPECT_EQ(FindFormatByExtension(".HPGL")->index, 3);
  EXPECT_EQ(FindFormatByExtension(".hgl")->index, 3);
  const std::string filter = FormatFilterString();
  EXPECT_EQ(filter.rfind("AutoCAD 2000 DXF format(*.dxf)|*.dxf|Windows metafile(*.wmf)|*.wmf|", 0), 0u);
  EXPECT_NE(filter.find("Computer graphics metafile(*.cgm)|*.cgm|"), std::string::npos);
  EXPECT_EQ(FormatFailureText(FormatForIndex(7)), "Save DXF file failure!");
  EXPECT_NE(WriterForIndex(1), nullptr);
  EXPECT_NE(WriterForIndex(7), nullptr);
}

TEST(DestinationSize, StoredValuesAndTheirDefaults) {
  platform::MemoryKeyValueStore store;
  DestinationSize d = LoadDestinationSize(store);
  EXPECT_EQ(d.width, 640.0);
  EXPECT_EQ(d.height, 480.0);
  EXPECT_EQ(d.unit, kUnitPixel);

  ASSERT_TRUE(StoreDestinationSize(store, {11.0, 8.5, kUnitInch}));
  d = LoadDestinationSize(store);
  EXPECT_EQ(d.width, 11.0);
  EXPECT_EQ(d.height, 8.5);
  EXPECT_EQ(d.unit, kUnitInch);

  double zero = 0.0;
  platform::BinaryValue zeroBytes(8);
  std::memcpy(zeroBytes.data(), &zero, 8);
  ASSERT_TRUE(store.writeBinary(kOption, "SaveGraphicsWidth", zeroBytes));
  ASSERT_TRUE(store.writeDword(kOption, "SaveGraphicsHeight", 100));  // wrong type
  ASSERT_TRUE(store.writeDword(kOption, "SaveGraphicUnits", 7));
  d = LoadDestinationSize(store);
  EXPECT_EQ(d.width, 640.0);
  EXPECT_EQ(d.height, 480.0);
  EXPECT_EQ(d.unit, kUnitPixel);
  ASSERT_TRUE(store.writeBinary(kOption, "SaveGraphicsWidth", platform::BinaryValue(4, 1)));  // wrong size
  EXPECT_EQ(LoadDestinationSize(store).width, 640.0);
  EXPECT_EQ(UnitSuffix(kUnitMm), "mm");
  EXPECT_EQ(UnitSuffix(kUnitPixel), "");
  EXPECT_EQ(UnitSuffix(42), "");
}

TEST(SaveJob, ProgressValuesFollowTheEntityCount) {
  test::TempDir dir;
  CGraph g;
  AddLines(g, 3);
  std::vector<int> values;
  std::vector<std::string> texts;
  SaveJob job(g, dir.file("three.dxf"), true, 1, [&](std::string_view text, int percent) {
    values.push_back(percent);
    texts.emplace_back(text);
  });
  ASSERT_TRUE(job.Run()) << job.error();
  EXPECT_EQ(values, (std::vector<int>{0, 33, 66, 100, 100}));
  EXPECT_EQ(texts.front(), "Saveing to DXF file...");
}

TEST(SaveJob, SuccessReplacesTheFileAndClearsTheModifiedFlag) {
  test::TempDir dir;
  const std::string path = dir.file("plan.dxf");
  test::WriteFile(path, "old contents");
  CGraph g;
  AddLines(g, 2);
  ASSERT_TRUE(g.modified());
  SaveJob job(g, path, true, 7);
  ASSERT_TRUE(job.Run()) << job.error();
  EXPECT_FALSE(g.modified());
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind("0\r\nSECTION\r\n2\r\nHEADER\r\n9\r\n$ACADVER\r\n1\r\nAC1006\r\n", 0), 0u);
  EXPECT_EQ(DirectoryEntries(dir.path()), std::vector<std::string>{"plan.dxf"});
}

TEST(SaveJob, FailedSaveKeepsThePreviousFileAndLeavesNoTemporary) {
  test::TempDir dir;
  const std::string path = dir.file("plan.dxf");
  test::WriteFile(path, "the user's previous drawing");
  CGraph g;
  AddLines(g, 2);
  g.addEntity(std::make_unique<model::CSolid>());  // a solid without points cannot be written
  SaveJob job(g, path, true, 1);
  EXPECT_FALSE(job.Run());
  EXPECT_NE(job.error().find("plan.dxf"), std::string::npos) << job.error();
  EXPECT_EQ(test::ReadFile(path), "the user's previous drawing");
  EXPECT_EQ(DirectoryEntries(dir.path()), std::vector<std::string>{"plan.dxf"});
  EXPECT_TRUE(g.modified());
}

TEST(SaveJob, NothingIsCreatedForAnEmptyDrawingOrAMissingDirectory) {
  test::TempDir dir;
  CGraph empty;
  empty.setCurrentLayerByName("Trace");
  SaveJob none(empty, dir.file("empty.dxf"), true, 1);
  EXPECT_FALSE(none.Run());
  EXPECT_NE(none.error().find("no vectors"), std::string::npos) << none.error();
  EXPECT_TRUE(DirectoryEntries(dir.path()).empty());

  CGraph g;
  AddLines(g, 1);
  SaveJob missing(g, dir.file("no/such/dir/x.dxf"), true, 1);
  EXPECT_FALSE(missing.Run());
  EXPECT_FALSE(missing.error().empty());
}

TEST(SaveJob, UnwiredFormatFailsClearlyInsteadOfWritingDxf) {
  for (const auto& format : OutputFormats()) {
    if (WriterForIndex(format.index)) continue;
    test::TempDir dir;
    CGraph g;
    AddLines(g, 1);
    SaveJob job(g, dir.file("x" + std::string(format.extension)), true, format.index);
    EXPECT_FALSE(job.Run()) << format.cliName;
    EXPECT_NE(job.error().find("not available"), std::string::npos) << job.error();
    EXPECT_TRUE(DirectoryEntries(dir.path()).empty());
  }
}

TEST(SaveJob, CompressedSvgIsAGzipMemberOfTheSvgOfTheSameDrawing) {
  test::TempDir dir;
  CGraph g;
  AddLines(g, 3);
  SaveJob svg(g, dir.file("drawing.svg"), true, kFormatSvg);
  ASSERT_TRUE(svg.Run()) << svg.error();
  SaveJob svgz(g, dir.file("drawing.svgz"), true, kFormatSvgz);
  ASSERT_TRUE(svgz.Run()) << svgz.error();
  const std::string text = test::ReadFile(dir.file("drawing.svg"));
  const std::string packed = test::ReadFile(dir.file("drawing.svgz"));
  ASSERT_FALSE(text.empty());
  const std::optional<std::string> inflated = test::Gunzip(packed);
  ASSERT_TRUE(inflated) << "one gzip member";
  EXPECT_EQ(*inflated, text);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  EXPECT_EQ(g.unit, model::Unit::Pixel) << "the drawing's unit is restored after the write";
}

TEST(SaveJob, AFullDiskIsReportedWithTheSystemsReasonByEveryWriter) {
  std::FILE* probe = std::fopen("/dev/full", "wb");
  if (!probe) GTEST_SKIP() << "no /dev/full";
  std::fclose(probe);
  for (int index = 1; index <= kFormatCount; ++index) {
    CGraph g;
    AddLines(g, 2000);
    model::Box extents;
    ASSERT_TRUE(g.getDrawingExtents(extents, true, false));
    SaveProgress progress(nullptr, "", 2000);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    SaveContext context{g, full, "/tmp/x", true, DestinationSize{}, "", progress, {}};
    EXPECT_FALSE(WriterForIndex(index)(context)) << index;
    EXPECT_NE(context.error.find(std::strerror(ENOSPC)), std::string::npos)
        << FormatForIndex(index).cliName << ": " << context.error;
    std::fclose(full);
  }
}

TEST(SaveJob, WorkerThreadAndCancellation) {
  test::TempDir dir;
  CGraph g;
  AddLines(g, 200);
  {
    SaveJob job(g, dir.file("worker.dxf"), false, 1);
    job.Start();
    EXPECT_TRUE(job.Wait()) << job.error();
  }
  AddLines(g, 1);
  // Cancelling from the progress callback: the writer stops at the next entity.
  SaveJob* self = nullptr;
  SaveJob job(g, dir.file("worker.dxf"), false, 1, [&](std::string_view, int percent) {
    if (percent >= 10 && self) self->Cancel();
  });
  self = &job;
  job.Start();
  EXPECT_FALSE(job.Wait());
  EXPECT_NE(job.error().find("cancelled"), std::string::npos) << job.error();
  EXPECT_EQ(test::ReadFile(dir.file("worker.dxf")).find("AC1014"), 39u) << "the first save stays";
}

}  // namespace
}  // namespace quillon::formats
