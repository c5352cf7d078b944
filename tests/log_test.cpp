// The progress log: both channels, line-end widening, messages of any length.
#include <gtest/gtest.h>

#include "log/log.h"
#include "tests/support.h"

namespace {

struct CountingBox : test::LogCapture {
  int scrolled = 0, repaints = 0;
  int GetLineCount() override { return 10; }
  void LineScroll(int n) override { scrolled += n; }
  void UpdateWindow() override { ++repaints; }
};

class LogLine : public testing::TestWithParam<std::pair<std::string, std::string>> {};

// The box gets CR LF line ends and scrolls to the end, debug the message as is; it ends at a NUL, of any length.
TEST_P(LogLine, DebugGetsTheMessageAndTheBoxGetsCrLf) {
  test::FaultySystem sys;
  platform::ScopedSystem scoped(sys);
  CountingBox box;
  LogPrintf(GetParam().first.c_str(), 0);
  EXPECT_EQ(box.BoxText(), GetParam().second);
  EXPECT_EQ(sys.debugOutput, std::vector<std::string>{box.Transcript()});
  EXPECT_EQ(box.scrolled, 10);
  EXPECT_EQ(box.repaints, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, LogLine,
                         testing::Values(std::make_pair("a\n\nb", "a\r\n\r\nb"), std::make_pair("ab%ccd\n", "ab"),
                                         std::make_pair(std::string(512, 'n'), std::string(512, 'n'))));

}  // namespace
