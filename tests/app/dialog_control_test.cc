// Status line, progress bar and DialogProgress through the recording host.
#include <gtest/gtest.h>

#include <string>

#include "app/dialog_progress.h"
#include "app/patch_client.h"
#include "support/recording_dialog_host.h"

namespace corvanth {
namespace {

using Call = RecordingDialogHost::Call;

// The (position, range) pairs the bar received, in order.
std::vector<std::pair<int, int>> barPairs(const RecordingDialogHost& host) {
  std::vector<std::pair<int, int>> out;
  int position = -1;
  for (const Call& c : host.calls()) {
    EXPECT_EQ(c.control, kProgressBar);
    if (c.kind == Call::kPosition) position = c.value;
    if (c.kind == Call::kRange) out.emplace_back(position, c.value);
  }
  return out;
}

TEST(SetProgress, ScalesLargeTotalsBeforeSettingPositionThenRange) {
  struct Case { int done, total, position, range; };
  const Case cases[] = {{500, 1000, 500, 1000},
                        {3000000, 5000000, 3000, 5000},
                        {1000000, 1000000, 1000000, 1000000}};  // not above the limit
  for (const Case& c : cases) {
    RecordingDialogHost host;
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.bindControls(&host);
    client.setProgress(c.done, c.total);
    auto calls = host.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Call::kPosition);
    EXPECT_EQ(calls[0].value, c.position);
    EXPECT_EQ(calls[1].kind, Call::kRange);
    EXPECT_EQ(calls[1].value, c.range);
  }
}

TEST(FillProgress, PositionOneOfRangeOne) {
  RecordingDialogHost host;
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.bindControls(&host);
  client.fillProgress();
  EXPECT_EQ(barPairs(host), (std::vector<std::pair<int, int>>{{1, 1}}));
}

TEST(DialogProgress, ScalesToAtMost1999StepsAndDropsRepeats) {
  RecordingDialogHost host;
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.bindControls(&host);
  DialogProgress progress(&client);
  const std::pair<uint32_t, uint32_t> reports[] = {
      {0, 0},                    // the first report always reaches the bar
      {1500, 3000},              // scaled by 3
      {1500, 1999},              // within 1999: unchanged
      {999, 1000},               // passed through
      {999, 1000},               // repeated: dropped
      {2997, 2999},              // scale 2: 1498 of 1499
      {2996, 2998},              // also 1498 of 1499: dropped
      {0xFFFFFFFFu, 0xFFFFFFFFu},  // scale 4294967: 1000 of 1000
  };
  for (const auto& [done, total] : reports) progress.report(done, total);
  EXPECT_EQ(barPairs(host), (std::vector<std::pair<int, int>>{
                                {0, 0}, {500, 1000}, {1500, 1999}, {999, 1000},
                                {1498, 1499}, {1000, 1000}}));
}

TEST(SetStatus, TextsAndFormatsReachTheStatusLine) {
  RecordingDialogHost host;
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.setStatus("before bind");  // unbound controls do nothing
  EXPECT_TRUE(host.calls().empty());
  client.bindControls(&host);
  client.setStatus("plain");
  client.setStatusFormat(client.message(23), "patch01.vpt");
  client.setStatusFormat("%s", std::string(2000, 'x').c_str());  // cut at the buffer
  EXPECT_EQ(host.textsOf(kStatusLine),
            (std::vector<std::string>{"plain", "Downloading patch01.vpt.",
                                      std::string(DialogControl::kFormatBufferSize - 1, 'x')}));
}

TEST(ReportTransfer, LineAndBarPerThousand) {
  struct Case { uint32_t received; int32_t expected; const char* line; int position; };
  const Case cases[] = {{500, 1000, "a.vpt - 500/1000", 500},
                        {1, 3, "a.vpt - 1/3", 333},
                        {0, 0, "a.vpt - 0/0", 1000},
                        {7, 5, "a.vpt - 7/5", 1000}};
  for (const Case& c : cases) {
    RecordingDialogHost host;
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.bindControls(&host);
    client.reportTransfer("a.vpt", c.received, c.expected);
    EXPECT_EQ(host.textOf(kStatusLine), c.line);
    EXPECT_EQ(host.positionOf(kProgressBar), c.position);
    EXPECT_EQ(host.rangeOf(kProgressBar), 1000);
  }
}

}  // namespace
}  // namespace corvanth
