#include "run/console_window.h"

#include <gtest/gtest.h>

namespace {

// Explorer, simulated: a console with this process alone on it, and both
// streams on it. A prompt or a script shares the console (2 or more); a
// redirection takes a stream off it; 0 is no console at all.
TEST(ConsoleWindowTest, WaitsOnlyInAConsoleOfItsOwnWithBothStreamsOnIt) {
  EXPECT_TRUE(waitsBeforeClosing(1, true, true));
  for (int processes : {0, 2, 3}) {
    EXPECT_FALSE(waitsBeforeClosing(processes, true, true)) << processes;
  }
  EXPECT_FALSE(waitsBeforeClosing(1, false, true));
  EXPECT_FALSE(waitsBeforeClosing(1, true, false));
  EXPECT_FALSE(waitsBeforeClosing(1, false, false));
}

}  // namespace
