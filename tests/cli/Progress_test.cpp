// The progress bar's line: filled by the bytes moved (a section of 30 KiB weighs more than a
// hundred absent ones), its time left counted in bytes too, and never wider than the terminal.
#include <gtest/gtest.h>

#include "Progress.h"

namespace zub::cli {
namespace {

TEST(BarLine, FillsByBytesCountsTimeLeftByBytesAndFitsTheTerminal) {
  const struct {
    const char* name;
    std::size_t done, sections;
    std::uint64_t moved, bytes;
    double seconds;
    int columns;
    std::string line;
  } cases[] = {
      {"one big section of ten done: the bar is nearly full", 1, 10, 90, 100, 9, 200,
       "verify [##################  ] 1/10 sections, 90 B of 100 B, 10 B/s, 0:01 left"},
      {"nine small ones done, the big one not: the bar is nearly empty", 9, 10, 10, 100, 5, 200,
       "verify [##                  ] 9/10 sections, 10 B of 100 B, 2 B/s, 0:45 left"},
      {"a phase that moves no bytes fills by sections", 5, 10, 0, 0, 1, 200,
       "verify [##########          ] 5/10 sections, 0 B"},
      {"a narrow terminal cuts the line one column short of its width", 1, 10, 90, 100, 9, 30,
       "verify [##################  ]"},
      {"a terminal narrower than the label still gets a line that fits", 1, 10, 90, 100, 9, 4,
       "ver"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line =
        BarLine("verify", c.done, c.sections, c.moved, c.bytes, c.seconds, c.columns);
    EXPECT_EQ(line, c.line);
    EXPECT_LT(line.size(), static_cast<std::size_t>(std::max(c.columns, 2)));
  }
}

TEST(TransferTexts, SayTheExpectedTimeAtTheLinkSpeedAndTheTimeTaken) {
  // A byte takes 10 bits on the line; a checked write moves its bytes twice.
  EXPECT_EQ(TransferStartText("writing and reading back 2-9", 30020, 60040, 19200),
            "writing and reading back 2-9: 30020 bytes, about 0:31 at 19200 bit/s");
  EXPECT_EQ(TransferStartText("reading 2-9", 30020, 30020, 115200),
            "reading 2-9: 30020 bytes, about 0:03 at 115200 bit/s");
  EXPECT_EQ(TransferEndText("reading 2-9", 30720, 2.0), "reading 2-9: done in 2.0 s, 15.0 KiB/s");
  const struct {
    std::uint64_t bytes;
    double seconds;
    const char* text;
  } cases[] = {
      {2048, 0.5, "0.5 s, 4.0 KiB/s"},
      {0, 0.25, "0.2 s"},  // nothing moved: no rate
      {600, 75, "1:15, 8 B/s"},
      {1 << 20, 0, "0.0 s"},  // no time: no rate
  };
  for (const auto& c : cases) EXPECT_EQ(ElapsedText(c.bytes, c.seconds), c.text) << c.text;
}

}  // namespace
}  // namespace zub::cli
