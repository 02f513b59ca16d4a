#include "raster/template_library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "settings/number_text.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

using platform::MemoryKeyValueStore;

KernelTemplate Sharpen() {
  KernelTemplate t;
  t.name = "Sharpen";
  t.coefficients = {0, -1, 0, -1, 5, -1, 0, -1, 0};
  t.factor = 1.0;
  return t;
}

KernelTemplate Corner5() {
  KernelTemplate t;
  t.name = "corner 5";
  t.width = t.height = 5;
  t.centreX = 4;
  t.centreY = 0;
  t.coefficients.assign(25, 0.0);
  for (size_t i = 0; i < 25; ++i) t.coefficients[i] = 0.125 * static_cast<double>(i) - 1.0;
  t.factor = 0.04;
  return t;
}

std::string Key(int n) { return TemplateKeyPath(n); }

// Writes a template's values by hand, as another version of the program might have.
void WriteRaw(platform::KeyValueStore& store, int n, const std::string& name, int size, const std::string& coefficient) {
  ASSERT_TRUE(store.createKey(Key(n)));
  store.writeString(Key(n), "Name", name);
  store.writeDword(Key(n), "Width", static_cast<uint32_t>(size));
  store.writeDword(Key(n), "Height", static_cast<uint32_t>(size));
  store.writeDword(Key(n), "CenX", 1);
  store.writeDword(Key(n), "CenY", 1);
  store.writeString(Key(n), "DBCoef", "1.0000");
  for (int i = 0; i < size * size; ++i) store.writeString(Key(n), "DB" + std::to_string(i), coefficient);
}

TEST(TemplateLibraryStore, RoundTripWritesTheStoredForm) {
  MemoryKeyValueStore store;
  ASSERT_TRUE(SaveTemplates(store, {Sharpen(), Corner5(), KernelTemplate::Fresh()}));
  EXPECT_EQ(Key(1), "Software\\Marrowby\\Quillon\\RasterTemplate\\Template-1");
  EXPECT_EQ(store.readString(Key(0), "Name"), "Sharpen");
  EXPECT_EQ(store.readDword(Key(1), "CenX"), 4u);
  EXPECT_EQ(store.readDword(Key(1), "Width"), 5u);
  EXPECT_EQ(store.readString(Key(0), "DB1"), "-1.0000");
  EXPECT_EQ(store.readString(Key(1), "DBCoef"), "0.0400");
  EXPECT_EQ(store.readString(Key(1), "DB24"), "2.0000");
  EXPECT_EQ(store.readString(Key(2), "DBCoef"), "0.1111");  // four decimals

  const auto loaded = LoadTemplates(store);
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0], Sharpen());
  EXPECT_EQ(loaded[1], Corner5());  // every value has four decimals or fewer
  EXPECT_EQ(loaded[2].name, "noname template");
  EXPECT_DOUBLE_EQ(loaded[2].factor, 0.1111);

  // A shorter list replaces the longer one completely.
  ASSERT_TRUE(SaveTemplates(store, {Corner5()}));
  EXPECT_FALSE(store.keyExists(Key(1)));
  ASSERT_EQ(LoadTemplates(store).size(), 1u);
  ASSERT_TRUE(SaveTemplates(store, {}));
  EXPECT_TRUE(store.keyExists(kRasterTemplateKey));
  EXPECT_TRUE(LoadTemplates(store).empty());
}

TEST(TemplateLibraryStore, LoadingStopsAtTheFirstMissingPositionAndSkipsUnreadableOnes) {
  MemoryKeyValueStore store;
  WriteRaw(store, 0, "zero", 3, "1");
  WriteRaw(store, 2, "two", 3, "1");
  ASSERT_EQ(LoadTemplates(store).size(), 1u);  // Template-1 missing: Template-2 is not read

  WriteRaw(store, 1, "one", 3, "1");
  store.deleteValue(Key(1), "DB8");
  const auto loaded = LoadTemplates(store);
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].name, "zero");
  EXPECT_EQ(loaded[1].name, "two");
}

TEST(TemplateLibraryStore, GarbageValuesMakeATemplateUnreadable) {
  struct Garbage {
    const char* what;
    void (*spoil)(platform::KeyValueStore&);
  };
  const Garbage cases[] = {
      {"empty name", [](platform::KeyValueStore& s) { s.writeString(Key(0), "Name", ""); }},
      {"name not a string", [](platform::KeyValueStore& s) { s.writeDword(Key(0), "Name", 5); }},
      {"width 7", [](platform::KeyValueStore& s) { s.writeDword(Key(0), "Width", 7); }},
      {"width a string", [](platform::KeyValueStore& s) { s.writeString(Key(0), "Width", "3"); }},
      {"huge height", [](platform::KeyValueStore& s) { s.writeDword(Key(0), "Height", 0xFFFFFFFFu); }},
      {"centre outside", [](platform::KeyValueStore& s) { s.writeDword(Key(0), "CenY", 3); }},
      {"negative centre", [](platform::KeyValueStore& s) { s.writeDword(Key(0), "CenX", 0xFFFFFFFFu); }},
      {"no number", [](platform::KeyValueStore& s) { s.writeString(Key(0), "DB4", "abc"); }},
      {"not finite", [](platform::KeyValueStore& s) { s.writeString(Key(0), "DB4", "nan"); }},
      {"overflow", [](platform::KeyValueStore& s) { s.writeString(Key(0), "DBCoef", "1e999"); }},
      {"binary factor", [](platform::KeyValueStore& s) { s.writeBinary(Key(0), "DBCoef", {1, 2}); }},
      {"missing centre", [](platform::KeyValueStore& s) { s.deleteValue(Key(0), "CenX"); }},
  };
  for (const Garbage& g : cases) {
    MemoryKeyValueStore store;
    WriteRaw(store, 0, "t", 3, "2.5");
    ASSERT_EQ(LoadTemplates(store).size(), 1u);
    g.spoil(store);
    EXPECT_FALSE(LoadTemplate(store, 0)) << g.what;
  }
  // The C library's conversion reads the number at the start of the text.
  MemoryKeyValueStore store;
  WriteRaw(store, 0, "t", 3, "  -1.5xyz");
  store.writeString(Key(0), "DBCoef", "+.25");
  const auto t = LoadTemplate(store, 0);
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->coefficients[8], -1.5);
  EXPECT_DOUBLE_EQ(t->factor, 0.25);
}

TEST(TemplateLibraryStore, JsonFileRoundTripAndDamagedValues) {
  quillon::test::TempDir dir;
  const std::string file = dir.file("settings.json");
  {
    platform::JsonFileKeyValueStore store(file);
    ASSERT_TRUE(SaveTemplates(store, {Sharpen(), Corner5()}));
  }
  {
    platform::JsonFileKeyValueStore store(file);
    const auto loaded = LoadTemplates(store);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0], Sharpen());
    EXPECT_EQ(loaded[1], Corner5());
    // Damage the first template in the file.
    store.writeString(Key(0), "DB2", "garbage");
    store.writeDword(Key(1), "CenX", 99);
    ASSERT_TRUE(store.flush());
  }
  platform::JsonFileKeyValueStore store(file);
  EXPECT_TRUE(LoadTemplates(store).empty());

  // A file that is not JSON at all reads as an empty library.
  quillon::test::WriteFile(file, "{\"Software\": [1, 2,");
  platform::JsonFileKeyValueStore broken(file);
  EXPECT_TRUE(LoadTemplates(broken).empty());
}

// A store whose template keys cannot be created.
class ReadOnlyTemplates : public MemoryKeyValueStore {
 public:
  bool createKey(std::string_view path) override {
    if (path.find("Template-1") != std::string_view::npos) return false;
    return MemoryKeyValueStore::createKey(path);
  }
};

TEST(TemplateLibraryStore, WriteFailureIsReportedOnce) {
  quillon::test::CapturedMessages messages;
  ReadOnlyTemplates store;
  EXPECT_FALSE(SaveTemplates(store, {Sharpen(), Corner5(), Sharpen()}));
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Write to registry failed!"});
}

TEST(TemplateFields, BuildFromTheDialogFields) {
  quillon::test::CapturedMessages messages;
  TemplateFields f = FieldsOf(Sharpen());
  EXPECT_EQ(f.grid[6], "0.0000");  // inner 3 x 3 starts at row 1, column 1
  EXPECT_EQ(f.grid[7], "-1.0000");
  EXPECT_EQ(f.grid[0], "");
  f.grid[0] = "not used for 3 x 3";
  auto built = BuildTemplate(f);
  ASSERT_TRUE(built);
  EXPECT_EQ(*built, Sharpen());
  auto five = BuildTemplate(FieldsOf(Corner5()));
  ASSERT_TRUE(five);
  EXPECT_EQ(*five, Corner5());
  EXPECT_TRUE(messages.messages().empty());

  TemplateFields unnamed = FieldsOf(Sharpen());
  unnamed.name.clear();
  EXPECT_FALSE(BuildTemplate(unnamed));
  TemplateFields bad = FieldsOf(Sharpen());
  bad.grid[12] = "5x";
  EXPECT_FALSE(BuildTemplate(bad));
  TemplateFields centre = FieldsOf(Sharpen());
  centre.centreX = "3";
  EXPECT_FALSE(BuildTemplate(centre));
  TemplateFields factor = FieldsOf(Sharpen());
  factor.factor = "";
  EXPECT_FALSE(BuildTemplate(factor));
  EXPECT_EQ(messages.messages(),
            (std::vector<std::string>{"name can't empty !", "Input error !", "Input error !", "Input error !"}));
}

TEST(TemplateFields, NumbersUseTheUsersDecimalSeparator) {
  const settings::Separators saved = settings::LocaleSeparators();
  settings::SetLocaleSeparators({',', ';'});
  TemplateFields f = FieldsOf(Corner5());
  EXPECT_EQ(f.factor, "0,0400");
  f.grid[1] = "2,5";
  const auto built = BuildTemplate(f);
  settings::SetLocaleSeparators(saved);
  ASSERT_TRUE(built);
  EXPECT_DOUBLE_EQ(built->coefficients[1], 2.5);
}

TEST(TemplateLibrary, AddModifyDeleteKeepTheStoreInStep) {
  quillon::test::CapturedMessages messages;
  MemoryKeyValueStore store;
  TemplateLibrary library(store);
  library.load();
  EXPECT_TRUE(library.templates().empty());
  EXPECT_EQ(library.selection(), -1);

  ASSERT_TRUE(library.add(Sharpen()));
  ASSERT_TRUE(library.add(Corner5()));
  EXPECT_EQ(library.selection(), 1);
  KernelTemplate same = Corner5();
  same.name = "SHARPEN";
  EXPECT_FALSE(library.add(same));  // names compare without case
  EXPECT_EQ(library.templates().size(), 2u);

  // Modify keeps its own name, but cannot take another template's.
  KernelTemplate changed = Corner5();
  changed.factor = 0.5;
  EXPECT_TRUE(library.modify(changed));
  EXPECT_FALSE(library.modify(same));
  EXPECT_EQ(library.templates()[1].factor, 0.5);
  EXPECT_EQ(LoadTemplates(store), library.templates());

  library.select(0);
  messages.sink().setAnswer(false);
  EXPECT_FALSE(library.remove());  // Cancel
  EXPECT_EQ(library.templates().size(), 2u);
  messages.sink().setAnswer(true);
  EXPECT_TRUE(library.remove());
  EXPECT_EQ(library.selection(), 0);  // the entry now at that position
  ASSERT_EQ(library.templates().size(), 1u);
  EXPECT_EQ(library.templates()[0].name, "corner 5");
  EXPECT_TRUE(library.remove());
  EXPECT_EQ(library.selection(), -1);
  EXPECT_FALSE(library.remove());
  EXPECT_FALSE(library.modify(Sharpen()));
  EXPECT_TRUE(LoadTemplates(store).empty());

  EXPECT_EQ(messages.messages(), (std::vector<std::string>{
                                     "Name already exist ! please input again",
                                     "Name already exist ! please input again",
                                     "Delete < Sharpen >",
                                     "Delete < Sharpen >",
                                     "Delete < corner 5 >",
                                     "Please first select a item !",
                                     "Please first select a item !",
                                 }));

  TemplateLibrary reloaded(store);
  ASSERT_TRUE(reloaded.add(Sharpen()));
  reloaded.load();
  EXPECT_EQ(reloaded.find("sharpen"), 0);
  EXPECT_EQ(reloaded.find("blur"), -1);
}

}  // namespace
}  // namespace quillon::raster
