#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "support/test_support.h"

namespace quillon::platform {
namespace {

TEST(ProfileFile, ReadsLikeTheProfileApi) {
  ProfileFile f;
  f.parse("; comment\r\n[Job0]\r\n  Source = C:\\a b.tif  \r\nCount=12abc\nNeg=-3\rBad=x1\n"
          "Quoted=\"  padded \"\n[JOB0]\nSource=second\n[Other]\nEmpty=\n");
  EXPECT_EQ(f.getString("job0", "SOURCE"), "C:\\a b.tif");
  EXPECT_EQ(f.getInt("Job0", "Count", 5), 12);
  EXPECT_EQ(f.getInt("Job0", "Neg", 5), -3);
  EXPECT_EQ(f.getInt("Job0", "Bad", 5), 5);
  EXPECT_EQ(f.getInt("Job0", "Missing", 5), 5);
  EXPECT_EQ(f.getString("Job0", "Quoted"), "  padded ");
  EXPECT_EQ(f.getString("Other", "Empty", "def"), "");
  EXPECT_EQ(f.getString("Nowhere", "Empty", "def"), "def");
  EXPECT_EQ(ParseProfileInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseProfileInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(ProfileFile, WritesCrLfTextThatReadsBack) {
  ProfileFile f;
  f.setString("Batch", "Count", "2");
  f.setInt("Job0", "i_Gray", 128);
  f.setString("Batch", "Count", "3");
  EXPECT_EQ(f.text(), "[Batch]\r\nCount=3\r\n[Job0]\r\ni_Gray=128\r\n");
  test::TempDir dir;
  ASSERT_TRUE(f.save(dir.file("a.trj")));
  ProfileFile g;
  ASSERT_TRUE(g.load(dir.file("a.trj")));
  EXPECT_EQ(g.getInt("job0", "I_GRAY", 0), 128);
  EXPECT_FALSE(g.load(dir.file("missing.trj")));
}

TEST(Paths, ConfigDirectoryFollowsTheEnvironment) {
  setenv("QUILLON_CONFIG_DIR", "/tmp/qcfg", 1);
  EXPECT_EQ(ConfigDirectory(), "/tmp/qcfg");
  EXPECT_EQ(SettingsFilePath(), "/tmp/qcfg/settings.json");
  unsetenv("QUILLON_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(ConfigDirectory(), "/tmp/xdg/quillon");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ConfigDirectory(), "/home/someone/.config/quillon");
}

TEST(MessageSink, CapturesAndRestores) {
  test::CapturedMessages outer;
  ShowMessage("one");
  {
    CaptureMessageSink inner;
    ScopedMessageSink guard(inner);
    inner.setAnswer(false);
    EXPECT_FALSE(ShowMessage("question?", MessageKind::Question));
    EXPECT_EQ(inner.messages(), std::vector<std::string>{"question?"});
  }
  ShowMessage("two");
  EXPECT_EQ(outer.messages(), (std::vector<std::string>{"one", "two"}));
}

}  // namespace
}  // namespace quillon::platform
