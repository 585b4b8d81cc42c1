// Double clicks, per button, on the wrapping clock.
#include <gtest/gtest.h>

#include "editor/input.h"
#include "support/frame_driver.h"

namespace kv {
namespace {

TEST(MouseButtons, DoubleClickIsTwoReleasesLessThan400msApartPerButton) {
  testing::FrameDriver d;
  // Presses `button` shortly before `ms`, releases it in a frame at `ms`.
  auto releaseAt = [&](uint32_t ms, int button = kLeftButton) {
    d.p.SetButton(button, true);
    d.FrameAt(ms - 50);
    d.p.SetButton(button, false);
    d.FrameAt(ms);
    return d.game.mouse().DoubleClick[button];
  };
  const uint32_t t = 2'000'000;
  EXPECT_FALSE(releaseAt(t));
  EXPECT_TRUE(releaseAt(t + 399));
  d.FrameAt(t + 420);  // set in the frame of the release only
  EXPECT_FALSE(d.game.mouse().DoubleClick[kLeftButton]);
  EXPECT_FALSE(releaseAt(t + 799));
  EXPECT_TRUE(releaseAt(t + 1099));  // three releases 300 ms apart
  EXPECT_TRUE(releaseAt(t + 1399));

  EXPECT_FALSE(releaseAt(t + 1900, kRightButton));
  EXPECT_FALSE(releaseAt(t + 2250));  // 350 ms after the right release only
  EXPECT_TRUE(releaseAt(t + 2280, kRightButton));

  // The clock wraps.
  releaseAt(0xFFFFF000u);
  EXPECT_FALSE(releaseAt(0xFFFFFE00u));
  EXPECT_FALSE(releaseAt(0x00000100u));  // 768 ms later
  EXPECT_TRUE(releaseAt(0x00000200u));
}

}  // namespace
}  // namespace kv
