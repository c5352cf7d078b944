// The progress log: both channels, line-end widening, messages of any length.
#include <gtest/gtest.h>

#include "log/log.h"
#include "tests/support.h"

namespace {

class LogLine : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(LogLine, DebugGetsTheMessageAndTheBoxGetsCrLf) {
  test::FaultySystem sys;
  platform::ScopedSystem scoped(sys);
  test::LogCapture log;
  LogPrintf("%s", GetParam().first.c_str());
  EXPECT_EQ(sys.debugOutput, std::vector<std::string>{GetParam().first});
  EXPECT_EQ(log.BoxText(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Table, LogLine,
                         testing::Values(std::make_pair("OK!\n", "OK!\r\n"), std::make_pair("a\nb\n", "a\r\nb\r\n"),
                                         std::make_pair("no end", "no end"), std::make_pair("\r\n", "\r\r\n"),
                                         std::make_pair("caf\xe9\n", "caf\xe9\r\n"), std::make_pair("", "")));

TEST(Log, MessageEndsAtAnEmbeddedNul) {
  test::LogCapture log;
  LogPrintf("ab%ccd\n", 0);
  EXPECT_EQ(log.BoxText(), "ab");
}

TEST(Log, LongMessagesAreNeverCut) {
  test::LogCapture log;
  std::string name(100000, 'n');
  LogPrintf("Extracting %s (%u bytes)\n", name.c_str(), 4000000000u);
  EXPECT_EQ(log.Transcript(), "Extracting " + name + " (4000000000 bytes)\n");
}

TEST(Log, EveryMessageScrollsToTheEndAndRepaints) {
  struct Counting : test::LogCapture {
    int lines = 0, scrolled = 0, repaints = 0;
    int GetLineCount() override { return ++lines * 10; }
    void LineScroll(int n) override { scrolled += n; }
    void UpdateWindow() override { ++repaints; }
  } view;
  LogPrintf("one\n");
  LogPrintf("two\n");
  EXPECT_EQ(view.scrolled, 30);
  EXPECT_EQ(view.repaints, 2);
}

}  // namespace
