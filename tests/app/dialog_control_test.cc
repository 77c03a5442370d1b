// Status line and progress bar through the recording host.
#include <gtest/gtest.h>

#include "app/dialog_progress.h"
#include "app/patch_client.h"
#include "support/recording_dialog_host.h"

namespace corvanth {
namespace {

TEST(SetProgress, ScalesLargeTotalsBeforeSettingPositionThenRange) {
  struct Case { int done, total, position, range; };
  const Case cases[] = {{500, 1000, 500, 1000}, {3000000, 5000000, 3000, 5000}};
  for (const Case& c : cases) {
    RecordingDialogHost host;
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.bindControls(&host);
    client.setProgress(c.done, c.total);
    auto calls = host.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, RecordingDialogHost::Call::kPosition);
    EXPECT_EQ(calls[0].value, c.position);
    EXPECT_EQ(calls[1].kind, RecordingDialogHost::Call::kRange);
    EXPECT_EQ(calls[1].value, c.range);
  }
}

}  // namespace
}  // namespace corvanth
