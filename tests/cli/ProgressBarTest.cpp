// The terminal's progress bar, drawn into a file with a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/ProgressBar.h"

namespace {

class ProgressBar : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(FFile, nullptr); }
  void TearDown() override { std::fclose(FFile); }

  // What was drawn since the last call.
  std::string Drawn() {
    std::fflush(FFile);
    const long end = std::ftell(FFile);
    std::string text(static_cast<std::size_t>(end - FRead), '\0');
    std::fseek(FFile, FRead, SEEK_SET);
    const std::size_t got = std::fread(text.data(), 1, text.size(), FFile);
    text.resize(got);
    FRead = end;
    std::fseek(FFile, 0, SEEK_END);
    return text;
  }

  std::FILE *FFile = std::tmpfile();
  long FRead = 0;
  std::chrono::steady_clock::time_point FNow{std::chrono::seconds(1000)};
  TProgressBar FBar{FFile, [this] { return FNow; }};
};

TEST_F(ProgressBar, LineShowsPhaseBarAndPercentage) {
  const struct {
    int Percent;
    std::size_t Filled;
    const char *Number;
  } cases[] = {{0, 0, "  0%"}, {50, 15, " 50%"}, {100, 30, "100%"}, {130, 30, "100%"}};
  for (const auto &c : cases) {
    const std::string line = TProgressBar::Line("Burn paths", c.Percent);
    EXPECT_EQ(line.rfind("\rBurn paths [", 0), 0u) << line;
    const std::size_t open = line.find('['), close = line.find(']');
    ASSERT_EQ(close - open - 1, 30u) << line;
    EXPECT_EQ(std::count(line.begin() + open, line.begin() + close, '#'), c.Filled) << line;
    EXPECT_NE(line.find(c.Number, close), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << "the bar stays on one line";
  }
}

TEST_F(ProgressBar, RedrawsAtMostTenTimesASecond) {
  using namespace std::chrono_literals;
  // A thousand updates within one second draw the first and then only one
  // per tenth of a second.
  int drawings = 0;
  for (int i = 0; i <= 1000; ++i) {
    FBar.Update("Reading", i, 1000);
    const std::string text = Drawn();
    drawings += static_cast<int>(std::count(text.begin(), text.end(), '\r'));
    FNow += 1ms;
  }
  EXPECT_GE(drawings, 10);
  EXPECT_LE(drawings, 11);

  // Nothing changed, nothing drawn, however long it has been.
  FNow += 10s;
  FBar.Update("Reading", 1000, 1000);
  EXPECT_EQ(Drawn(), "");
  // A new phase is drawn once the interval has passed, and the end closes the line.
  FBar.Update("G-code", 1, 4);
  EXPECT_EQ(Drawn(), TProgressBar::Line("G-code", 25));
  FBar.End();
  EXPECT_EQ(Drawn(), "\n");
  // What an update held back is drawn when the line ends.
  FNow += 1s;
  FBar.Update("G-code", 1, 4);
  FBar.Update("G-code", 4, 4);
  EXPECT_EQ(Drawn(), TProgressBar::Line("G-code", 25));
  FBar.End();
  EXPECT_EQ(Drawn(), TProgressBar::Line("G-code", 100) + "\n");
  FBar.End();
  EXPECT_EQ(Drawn(), "") << "a closed line is not closed twice";
}

} // namespace
