#include "platform/key_value_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/message_sink.h"
#include "support/test_support.h"

namespace quillon::platform {
namespace {

const char* kOptions = "Software\\Marrowby\\Quillon\\Options";

TEST(MemoryKeyValueStore, KeysAndValuesIgnoreCaseAndKeepOrder) {
  MemoryKeyValueStore store;
  EXPECT_FALSE(store.writeDword(kOptions, "i_Gray", 1)) << "writing needs an existing key";
  ASSERT_TRUE(store.createKey(kOptions));
  EXPECT_TRUE(store.keyExists("software\\MARROWBY\\quillon\\options"));
  EXPECT_TRUE(store.writeDword(kOptions, "i_Gray", 128));
  EXPECT_TRUE(store.writeString(kOptions, "s_WidthSeries", "ISO"));
  EXPECT_TRUE(store.writeBinary(kOptions, "d_MaxDis", {1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(store.readDword(kOptions, "I_GRAY"), 128u);
  EXPECT_EQ(store.readString(kOptions, "s_widthseries"), "ISO");
  EXPECT_EQ(store.readBinary(kOptions, "d_MaxDis")->size(), 8u);
  // A value of another type reads as missing.
  EXPECT_FALSE(store.readString(kOptions, "i_Gray"));
  EXPECT_FALSE(store.readDword("Software\\Nope", "i_Gray"));

  store.createKey("Software\\Marrowby\\Quillon\\ChartType\\Zeta");
  store.createKey("Software\\Marrowby\\Quillon\\ChartType\\Alpha");
  EXPECT_EQ(store.subkeys("Software\\Marrowby\\Quillon\\ChartType"),
            (std::vector<std::string>{"Zeta", "Alpha"}));
  EXPECT_TRUE(store.deleteKeyTree("Software\\Marrowby\\Quillon\\chartType"));
  EXPECT_FALSE(store.keyExists("Software\\Marrowby\\Quillon\\ChartType\\Zeta"));
  EXPECT_FALSE(store.deleteKeyTree("Software\\Marrowby\\Quillon\\ChartType"));
}

TEST(JsonFileKeyValueStore, RoundTripsThroughTheFile) {
  test::TempDir dir;
  std::string path = dir.file("settings.json");
  {
    JsonFileKeyValueStore store(path);
    store.createKey(kOptions);
    store.writeDword(kOptions, "i_ConDis", 4294967295u);
    store.writeString(kOptions, "ModalName", "Plan \"A\" \xC3\xA4");
    store.writeBinary(kOptions, "d_FillSpace", {0, 255, 16});
    ASSERT_TRUE(store.flush());
  }
  JsonFileKeyValueStore again(path);
  EXPECT_EQ(again.readDword(kOptions, "i_ConDis"), 4294967295u);
  EXPECT_EQ(again.readString(kOptions, "ModalName"), "Plan \"A\" \xC3\xA4");
  EXPECT_EQ(again.readBinary(kOptions, "d_FillSpace"), (BinaryValue{0, 255, 16}));
}

std::vector<std::string> AsideFiles(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    if (entry.path().filename().string().starts_with(std::filesystem::path(path).filename().string() + ".bad"))
      names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(JsonFileKeyValueStore, MalformedFileIsOnlyKeptAsideWhenSettingsAreWritten) {
  test::TempDir dir;
  std::string path = dir.file("settings.json");
  CaptureMessageSink sink;
  ScopedMessageSink installed(sink);
  int round = 0;
  for (std::string garbage : {"", "{\"keys\": {\"Software\": ", "\x01\x02 not json", "[1,2,3]"}) {
    test::WriteFile(path, garbage);
    {
      JsonFileKeyValueStore reader(path);  // a command that only reads
      EXPECT_EQ(reader.fileState(), JsonFileKeyValueStore::FileState::Malformed);
      EXPECT_FALSE(reader.keyExists("Software")) << garbage;
    }
    EXPECT_EQ(test::ReadFile(path), garbage) << "reading never moves the file";
    EXPECT_EQ(AsideFiles(path).size(), static_cast<size_t>(round));

    JsonFileKeyValueStore store(path);
    store.createKey(kOptions);
    ASSERT_TRUE(store.flush());
    ++round;
    auto aside = AsideFiles(path);
    ASSERT_EQ(aside.size(), static_cast<size_t>(round)) << "an earlier kept file is never overwritten";
    EXPECT_EQ(test::ReadFile(store.keptAsidePath()), garbage);
    JsonFileKeyValueStore reread(path);
    EXPECT_TRUE(reread.keyExists(kOptions));
  }
}

TEST(JsonFileKeyValueStore, UnreadableFileIsReportedOnceAndLeftAlone) {
  test::TempDir dir;
  CaptureMessageSink sink;
  ScopedMessageSink installed(sink);

  // A directory where the file should be.
  std::string folder = dir.file("settings.json");
  std::filesystem::create_directory(folder);
  {
    JsonFileKeyValueStore store(folder);
    EXPECT_EQ(store.fileState(), JsonFileKeyValueStore::FileState::Unreadable);
    store.createKey(kOptions);
    EXPECT_FALSE(store.flush());
  }
  JsonFileKeyValueStore again(folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(sink.messages().size(), 1u) << "one report per file and process";

  // A valid file without read permission is not "damaged" (root reads it anyway).
  std::string locked = dir.file("locked.json");
  test::WriteFile(locked, "{}");
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  {
    JsonFileKeyValueStore store(locked);
    if (store.fileState() == JsonFileKeyValueStore::FileState::Unreadable) {
      store.createKey(kOptions);
      EXPECT_FALSE(store.flush());
    }
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(test::ReadFile(locked), "{}");
  EXPECT_TRUE(AsideFiles(locked).empty());
}

TEST(JsonFileKeyValueStore, WrongTypedEntriesAreSkipped) {
  test::TempDir dir;
  std::string path = dir.file("settings.json");
  test::WriteFile(path, R"({"values":{},"keys":{"A":{"values":{
      "neg":{"dword":-1},"big":{"dword":99999999999},"str":{"string":5},
      "hex":{"binary":"zz"},"ok":{"dword":7}},"keys":{"B":17}}}})");
  JsonFileKeyValueStore store(path);
  EXPECT_FALSE(store.readValue("A", "neg"));
  EXPECT_FALSE(store.readValue("A", "big"));
  EXPECT_FALSE(store.readValue("A", "str"));
  EXPECT_FALSE(store.readValue("A", "hex"));
  EXPECT_EQ(store.readDword("A", "ok"), 7u);
  EXPECT_TRUE(store.keyExists("A\\B"));
}

TEST(JsonFileKeyValueStore, ConcurrentSaversLeaveOneWholeVersion) {
  test::TempDir dir;
  std::string path = dir.file("settings.json");
  auto saver = [&](uint32_t id) {
    for (int round = 0; round < 30; ++round) {
      JsonFileKeyValueStore store(path);
      store.createKey(kOptions);
      for (int i = 0; i < 50; ++i) store.writeDword(kOptions, "v" + std::to_string(i), id);
      EXPECT_TRUE(store.flush());
    }
  };
  std::thread a(saver, 1), b(saver, 2);
  a.join();
  b.join();
  JsonFileKeyValueStore store(path);
  auto first = store.readDword(kOptions, "v0");
  ASSERT_TRUE(first);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(store.readDword(kOptions, "v" + std::to_string(i)), first);
  EXPECT_TRUE(AsideFiles(path).empty());
}

TEST(AtomicFile, FailedSaveKeepsThePreviousFile) {
  test::TempDir dir;
  std::string path = dir.file("drawing.dxf");
  test::WriteFile(path, "previous");
  {
    AtomicFile file(path);
    ASSERT_TRUE(file.open());
    EXPECT_TRUE(file.write("half of a new"));
    // Abandoned without commit.
  }
  EXPECT_EQ(test::ReadFile(path), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  AtomicFile missingDir(dir.file("no/such/dir/out.dxf"));
  EXPECT_FALSE(missingDir.open());
  EXPECT_NE(missingDir.error().find("no/such/dir/out.dxf"), std::string::npos);

  EXPECT_TRUE(WriteFileAtomically(path, "new"));
  EXPECT_EQ(test::ReadFile(path), "new");
}

}  // namespace
}  // namespace quillon::platform
