#include <gtest/gtest.h>

#include <cmath>

#include "platform/key_value_store.h"
#include "settings/angle_series.h"
#include "settings/width_series.h"
#include "support/test_support.h"

namespace quillon::settings {
namespace {

using platform::JsonFileKeyValueStore;
using platform::MemoryKeyValueStore;

constexpr double kDpm200 = 7874;  // 200 dpi
const std::string kWidthKey = std::string(WidthSeries::kStoreKey) + "\\";
const std::string kAngleKey = std::string(AngleSeries::kStoreKey) + "\\";

double Deg(double d) { return DegreesToRadians(d); }

WidthSeries DefaultWithMode(int32_t mode) {
  WidthSeries s = WidthSeries::BuiltInDefault();
  s.SetMoreWidthMode(mode);
  return s;
}

// ---- WidthSeries::Round -------------------------------------------------------

TEST(WidthRound, DefaultSeriesInMillimetresAt200Dpi) {
  const WidthSeries s = WidthSeries::BuiltInDefault();
  EXPECT_DOUBLE_EQ(s.Round(1.9, kDpm200), 0.0);
  const double halfway = 0.5 * (kDpm200 * 0.001) / 2;
  EXPECT_DOUBLE_EQ(s.Round(halfway, kDpm200), 3.937);  // exactly halfway goes up
  EXPECT_DOUBLE_EQ(s.Round(std::nextafter(halfway, 0.0), kDpm200), 0.0);
  EXPECT_DOUBLE_EQ(s.Round(2.0, kDpm200), 3.937);
  EXPECT_DOUBLE_EQ(s.Round(5.9, kDpm200), 3.937);
  EXPECT_DOUBLE_EQ(s.Round(6.0, kDpm200), 7.874);
  EXPECT_DOUBLE_EQ(s.Round(12, kDpm200), 15.748);
  EXPECT_DOUBLE_EQ(s.Round(19.6, kDpm200), 15.748);
  EXPECT_DOUBLE_EQ(s.Round(30, kDpm200), 30);  // keep original
  EXPECT_DOUBLE_EQ(DefaultWithMode(WidthSeries::kMoreWidthShrink).Round(30, kDpm200), 15.748);
}

TEST(WidthRound, EqualStepsBeyondTheLargestEntry) {
  const WidthSeries s = DefaultWithMode(WidthSeries::kMoreWidthEqual);  // step 7.874
  EXPECT_NEAR(s.Round(30, kDpm200), 31.496, 1e-9);
  EXPECT_NEAR(s.Round(27, kDpm200), 23.622, 1e-9);
  EXPECT_NEAR(s.Round(19.7, kDpm200), 23.622, 1e-9);

  WidthSeries one;
  one.SetUnit(WidthSeries::kUnitPixel);
  ASSERT_TRUE(one.Insert(1.0));
  EXPECT_DOUBLE_EQ(one.Round(1.4, 0), 1.0);
  EXPECT_DOUBLE_EQ(one.Round(2.4, 0), 2.0);
  EXPECT_DOUBLE_EQ(one.Round(2.5, 0), 3.0);

  // A lone 0 entry has no step; widths beyond it are kept rather than divided by 0.
  WidthSeries zero;
  zero.SetUnit(WidthSeries::kUnitPixel);
  ASSERT_TRUE(zero.Insert(0.0));
  EXPECT_DOUBLE_EQ(zero.Round(4.2, 0), 4.2);
}

TEST(WidthRound, UnitsAndMissingResolution) {
  WidthSeries s;
  ASSERT_TRUE(s.Insert(1.0));
  ASSERT_TRUE(s.Insert(2.0));
  s.SetMoreWidthMode(WidthSeries::kMoreWidthKeep);
  s.SetUnit(WidthSeries::kUnitInch);  // 1 inch = 200 px at 200 dpi
  EXPECT_NEAR(s.Round(299, kDpm200), 199.9996, 1e-9);
  EXPECT_NEAR(s.Round(301, kDpm200), 399.9992, 1e-9);
  s.SetUnit(WidthSeries::kUnitCm);  // 1 cm = 78.74 px
  EXPECT_NEAR(s.Round(118, kDpm200), 78.74, 1e-9);
  EXPECT_NEAR(s.Round(118.2, kDpm200), 157.48, 1e-9);
  // Without a resolution only pixel widths can be rounded.
  EXPECT_DOUBLE_EQ(s.Round(118, 0.5), 118);
  s.SetUnit(WidthSeries::kUnitPixel);
  EXPECT_DOUBLE_EQ(s.Round(1.4, 0.5), 1.0);
  EXPECT_DOUBLE_EQ(WidthSeries().Round(3.3, kDpm200), 3.3);
}

// ---- WidthSeries editing ------------------------------------------------------

TEST(WidthSeriesEdit, InsertKeepsOrderAndRefusesNearDuplicates) {
  WidthSeries s;
  EXPECT_TRUE(s.Insert(2.0));
  EXPECT_TRUE(s.Insert(0.5));
  EXPECT_TRUE(s.Insert(1.0));
  EXPECT_FALSE(s.Insert(1.000001));
  EXPECT_FALSE(s.Insert(std::nan("")));
  EXPECT_TRUE(s.Insert(1.0001));
  EXPECT_EQ(s.widths(), (std::vector<double>{0.5, 1.0, 1.0001, 2.0}));
}

TEST(WidthSeriesEdit, SettersClampAndIgnoreEmptyNames) {
  WidthSeries s;
  EXPECT_EQ(s.unit(), WidthSeries::kUnitMm);
  EXPECT_EQ(s.moreWidthMode(), WidthSeries::kMoreWidthEqual);
  s.SetMoreWidthMode(-4);
  EXPECT_EQ(s.moreWidthMode(), 0);
  s.SetMoreWidthMode(1);
  EXPECT_EQ(s.moreWidthMode(), 1);
  s.SetMoreWidthMode(7);
  EXPECT_EQ(s.moreWidthMode(), 2);
  s.SetName("Plan");
  s.SetName("");
  EXPECT_EQ(s.name(), "Plan");
  s.Insert(1);
  s.SetUnit(WidthSeries::kUnitCm);
  s.Clear();
  EXPECT_EQ(s.name(), "");
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.unit(), WidthSeries::kUnitCm);
}

// ---- WidthSeries storage ------------------------------------------------------

TEST(WidthSeriesStore, RoundTripThroughMemoryAndJsonFile) {
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  WidthSeries saved = BuildWidthSeries("Plan A", WidthSeries::kUnitCm, 0, {0.25, std::nullopt, 0.1, 0.7});
  ASSERT_EQ(saved.widths(), (std::vector<double>{0.1, 0.25, 0.7}));
  {
    JsonFileKeyValueStore store(file);
    ASSERT_TRUE(saved.Save(store));
    ASSERT_TRUE(store.flush());
  }
  JsonFileKeyValueStore reread(file);
  WidthSeries loaded;
  ASSERT_TRUE(loaded.Load(reread, "plan a"));
  EXPECT_EQ(loaded.widths(), saved.widths());
  EXPECT_EQ(loaded.unit(), WidthSeries::kUnitCm);
  EXPECT_EQ(loaded.moreWidthMode(), 0);
  EXPECT_TRUE(WidthSeries::Exists(reread, "PLAN A"));
  EXPECT_EQ(WidthSeries::List(reread), (std::vector<std::string>{"Plan A", "Default"}));
}

TEST(WidthSeriesStore, SaveReplacesEveryOldValue) {
  MemoryKeyValueStore store;
  WidthSeries s = BuildWidthSeries("S", WidthSeries::kUnitPixel, 1, {1, 2, 3});
  ASSERT_TRUE(s.Save(store));
  s.RemoveAt(2);
  ASSERT_TRUE(s.Save(store));
  EXPECT_FALSE(store.readBinary(kWidthKey + "S", "w2"));
  EXPECT_EQ(store.readDword(kWidthKey + "S", "WidthCount"), 2u);
  EXPECT_FALSE(WidthSeries().Save(store));  // no name
}

TEST(WidthSeriesStore, LoadFallbacks) {
  MemoryKeyValueStore store;
  WidthSeries s;
  EXPECT_TRUE(s.Load(store, "default"));
  EXPECT_EQ(s, WidthSeries::BuiltInDefault());
  EXPECT_FALSE(s.Load(store, "Nothing"));
  EXPECT_EQ(s.name(), "");
  EXPECT_FALSE(s.Load(store, ""));

  // A key without a count is no series.
  store.createKey(kWidthKey + "Broken");
  EXPECT_FALSE(s.Load(store, "Broken"));
  EXPECT_EQ(s.name(), "");

  // Values of the wrong size or type read as missing and are skipped.
  const std::string key = kWidthKey + "Odd";
  store.createKey(key);
  store.writeDword(key, "WidthCount", 3);
  store.writeDword(key, "Unit", 3);
  store.writeBinary(key, "w0", StoredDoubleBytes(4.0));
  store.writeBinary(key, "w1", {1, 2, 3, 4});
  store.writeDword(key, "w2", 7);
  ASSERT_TRUE(s.Load(store, "Odd"));
  EXPECT_EQ(s.widths(), std::vector<double>{4.0});
  EXPECT_EQ(s.moreWidthMode(), WidthSeries::kMoreWidthKeep);  // missing: kept from "Default" above

  // A huge count does not make the load probe billions of values.
  store.writeDword(key, "WidthCount", 0xFFFFFFFFu);
  EXPECT_TRUE(s.Load(store, "Odd"));
}

TEST(WidthSeriesStore, StoredDefaultWins) {
  MemoryKeyValueStore store;
  ASSERT_TRUE(BuildWidthSeries("Default", WidthSeries::kUnitPixel, 0, {3, 6}).Save(store));
  WidthSeries s;
  ASSERT_TRUE(s.Load(store, "Default"));
  EXPECT_EQ(s.widths(), (std::vector<double>{3, 6}));
  EXPECT_EQ(WidthSeries::List(store), std::vector<std::string>{"Default"});
}

TEST(WidthSeriesStore, DeleteClearsTheSeriesInUseAndReportsFailure) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  WidthSeries current = BuildWidthSeries("Mine", WidthSeries::kUnitMm, 1, {1});
  ASSERT_TRUE(current.Save(store));
  EXPECT_TRUE(DeleteWidthSeriesInUse(store, "Mine", current));
  EXPECT_EQ(current.name(), "");
  EXPECT_FALSE(WidthSeries::Exists(store, "Mine"));
  EXPECT_FALSE(WidthSeries::Delete(store, "Mine"));
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Write to registry failed!"});
  EXPECT_FALSE(CanDeleteWidthSeries("DEFAULT"));
  EXPECT_TRUE(CanDeleteWidthSeries("Mine"));
}

// ---- AngleSeries editing and Snap ---------------------------------------------

TEST(AngleSeriesEdit, BuiltInsInRadians) {
  AngleSeries s = AngleSeries::BuiltInDefault();
  ASSERT_EQ(s.count(), 9u);
  EXPECT_EQ(s.entries()[1], (AngleEntry{30 * std::atan2(0.0, -1.0) / 180, Deg(32.5), Deg(27.5)}));
  EXPECT_DOUBLE_EQ(s.entries()[8].mainAngle, AnglePi());
  s.LoadOrtho();
  EXPECT_EQ(s.name(), "Ortho series");
  EXPECT_EQ(s.count(), 3u);
  s.LoadTinily();
  EXPECT_EQ(s.name(), "Tinily Adjust");
  EXPECT_DOUBLE_EQ(s.entries()[4].minAngle, Deg(88.5));
}

TEST(AngleSeriesEdit, InsertRespectsNeighbourRanges) {
  AngleSeries s = AngleSeries::BuiltInDefault();
  EXPECT_FALSE(s.Insert({Deg(20), Deg(28), Deg(10)}));  // above the next min 27.5
  EXPECT_FALSE(s.Insert({Deg(20), Deg(25), Deg(4)}));   // below the previous max 5
  EXPECT_FALSE(s.Insert({Deg(20), Deg(19), Deg(10)}));  // main outside its range
  EXPECT_EQ(s, AngleSeries::BuiltInDefault());
  ASSERT_TRUE(s.Insert({Deg(20), Deg(25), Deg(10)}));
  EXPECT_EQ(s.entries()[1].mainAngle, Deg(20));
  // Same main angle: the new range replaces the old one.
  ASSERT_TRUE(s.Insert({Deg(30), Deg(33), Deg(25)}));
  EXPECT_EQ(s.count(), 10u);
  EXPECT_EQ(s.entries()[2].maxAngle, Deg(33));

  AngleSeries tail;
  ASSERT_TRUE(tail.Insert({Deg(10), Deg(20), Deg(0)}));
  EXPECT_FALSE(tail.Insert({Deg(25), Deg(30), Deg(19)}));
  EXPECT_TRUE(tail.Insert({Deg(25), Deg(30), Deg(20)}));  // touching is allowed
}

TEST(AngleSeriesEdit, ReplaceAndRemove) {
  AngleSeries s = AngleSeries::BuiltInDefault();
  EXPECT_FALSE(s.Replace(0, {0, Deg(30), 0}));
  EXPECT_FALSE(s.Replace(9, {0, Deg(1), 0}));
  EXPECT_TRUE(s.Replace(0, {0, Deg(27.5), 0}));
  EXPECT_TRUE(s.RemoveAt(8));
  EXPECT_FALSE(s.RemoveAt(8));
  EXPECT_EQ(s.count(), 8u);
}

TEST(AngleSnap, OrthoSeriesAndRangeBoundaries) {
  AngleSeries s;
  s.LoadOrtho();
  double a = Deg(87);
  EXPECT_TRUE(s.Snap(a));
  EXPECT_EQ(a, Deg(90));
  a = Deg(80);
  EXPECT_FALSE(s.Snap(a));
  EXPECT_EQ(a, Deg(80));
  a = Deg(90);
  EXPECT_FALSE(s.Snap(a));
  // Range ends are inside.
  a = Deg(85);
  EXPECT_TRUE(s.Snap(a));
  EXPECT_EQ(a, Deg(90));
  a = Deg(170);
  EXPECT_TRUE(s.Snap(a));
  EXPECT_EQ(a, AnglePi());
  a = std::nextafter(Deg(170), 0.0);
  EXPECT_FALSE(s.Snap(a));
}

TEST(AngleSnap, TouchingRangesTakeTheFirstEntry) {
  AngleSeries s;
  ASSERT_TRUE(s.Insert({Deg(10), Deg(20), Deg(0)}));
  ASSERT_TRUE(s.Insert({Deg(30), Deg(40), Deg(20)}));
  double a = Deg(20);
  EXPECT_TRUE(s.Snap(a));
  EXPECT_EQ(a, Deg(10));
}

// ---- AngleSeries storage ------------------------------------------------------

TEST(AngleSeriesStore, RoundTripThroughJsonFile) {
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  AngleSeries saved;
  saved.LoadTinily();
  saved.SetName("Fine");
  ASSERT_TRUE(saved.Insert({Deg(170), Deg(175), Deg(165)}));
  {
    JsonFileKeyValueStore store(file);
    ASSERT_TRUE(saved.Save(store));
  }  // destruction writes the file
  JsonFileKeyValueStore reread(file);
  AngleSeries loaded;
  ASSERT_TRUE(loaded.Load(reread, "Fine"));
  EXPECT_EQ(loaded, saved);  // bit-exact doubles
  EXPECT_EQ(AngleSeries::List(reread),
            (std::vector<std::string>{"Fine", "Default", "Ortho series", "Tinily Adjust"}));
}

TEST(AngleSeriesStore, LoadFallbacks) {
  MemoryKeyValueStore store;
  AngleSeries s;
  EXPECT_TRUE(s.Load(store, "ORTHO SERIES"));
  EXPECT_EQ(s.name(), "Ortho series");
  EXPECT_FALSE(s.Load(store, "Unknown"));
  EXPECT_EQ(s, AngleSeries::BuiltInDefault());
  EXPECT_TRUE(s.Load(store, "default"));

  // AngleCount 3 with only two complete triples.
  const std::string key = kAngleKey + "Short";
  store.createKey(key);
  store.writeDword(key, "AngleCount", 3);
  for (int i = 0; i < 3; ++i) {
    const std::string p = std::to_string(i);
    store.writeBinary(key, p + "_MainAngle", StoredDoubleBytes(Deg(40 * i)));
    store.writeBinary(key, p + "_MaxAngle", StoredDoubleBytes(Deg(40 * i + 5)));
    if (i < 2) store.writeBinary(key, p + "_MinAngle", StoredDoubleBytes(Deg(40 * i)));
  }
  EXPECT_FALSE(s.Load(store, "Short"));
  EXPECT_EQ(s, AngleSeries::BuiltInDefault());
  EXPECT_EQ(LoadAngleSeriesForPage(store, "Short"), AngleSeries::BuiltInDefault());

  // A triple that does not fit is dropped, the rest loads.
  store.writeDword(key, "AngleCount", 2);
  store.writeBinary(key, "1_MinAngle", StoredDoubleBytes(Deg(50)));  // min above main
  ASSERT_TRUE(s.Load(store, "Short"));
  EXPECT_EQ(s.name(), "Short");
  EXPECT_EQ(s.count(), 1u);
}

TEST(AngleSeriesStore, StoredBuiltInNameWinsAndDeleteInUse) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  AngleSeries ortho;
  ortho.LoadOrtho();
  ASSERT_TRUE(ortho.RemoveAt(1));
  ASSERT_TRUE(ortho.Save(store));
  AngleSeries current;
  ASSERT_TRUE(current.Load(store, "Ortho series"));
  EXPECT_EQ(current.count(), 2u);
  EXPECT_TRUE(DeleteAngleSeriesInUse(store, "Ortho series", current));
  EXPECT_EQ(current, AngleSeries::BuiltInDefault());
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_TRUE(AngleSeries::Exists(store, "Ortho series"));
  EXPECT_FALSE(AngleSeries::Exists(store, "Gone"));
  EXPECT_FALSE(CanDeleteAngleSeries("ortho series"));
  EXPECT_TRUE(CanDeleteAngleSeries("Tinily Adjust"));
}

// ---- Angle page checks ---------------------------------------------------------

TEST(AnglePageCheck, OrderOfChecksAndFocus) {
  auto c = CheckAngleEntry(45, std::nullopt, 40);
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.focus, AngleField::Max);
  EXPECT_EQ(c.message, "Invalid data !");
  c = CheckAngleEntry(50, 45, 40);
  EXPECT_EQ(c.message, "Main angle is greater than MAX angle!");
  c = CheckAngleEntry(35, 45, 40);
  EXPECT_EQ(c.message, "Main angle is less than MIN angle!");
  c = CheckAngleEntry(180, 185, 175);
  EXPECT_EQ(c.focus, AngleField::Max);
  EXPECT_EQ(c.message,
            "The angle must be greater than or equal 0 degree and be less than or equal 180 degree!");
  c = CheckAngleEntry(0, 5, -0.0);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.entry, (AngleEntry{0, Deg(5), 0}));
}

}  // namespace
}  // namespace quillon::settings
