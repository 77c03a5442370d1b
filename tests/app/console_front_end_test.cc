// The console front-end: printed lines, thinning, the live line, boxes and
// answers, and a whole dialog on a client.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/dialog_control.h"
#include "app/patch_client.h"
#include "frontend/console/console_front_end.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace corvanth {
namespace {

// Output into memory and input from a fixed text.
class Terminal {
 public:
  explicit Terminal(const std::string& input = "") : input_(input) {
    out_ = open_memstream(&buffer_, &size_);
    in_ = input_.empty() ? std::fopen("/dev/null", "r")
                         : fmemopen(input_.data(), input_.size(), "r");
  }
  ~Terminal() {
    std::fclose(out_);
    std::fclose(in_);
    std::free(buffer_);
  }
  std::FILE* out() { return out_; }
  std::FILE* in() { return in_; }
  std::string output() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }

 private:
  std::string input_;
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* out_;
  std::FILE* in_;
};

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ConsoleFrontEnd, OffATerminalEachNewStatusIsALineAndTransfersAreThinned) {
  Terminal terminal;
  ConsoleFrontEnd console(terminal.out(), terminal.in(), false);
  console.setControlText(kStatusLine, "first");
  console.setControlText(kStatusLine, "first");  // not new: not printed again
  for (int i = 0; i <= 1000; ++i) {
    console.setControlText(kStatusLine, "f.vpt - " + std::to_string(i) + "/1000");
    console.setProgressPosition(kProgressBar, i);
    console.setProgressRange(kProgressBar, 1000);
  }
  console.setControlText(kStatusLine, "g.vpt - 1/2");  // another transfer
  console.setControlText(kStatusLine, "g.vpt - 2/2");
  console.setControlText(kStatusLine, "g.vpt - 0/2");  // the same name again
  console.setControlText(kStatusLine, "second");
  console.setControlText(kStatusLine, "h.vpt - 5/9");
  console.flush();  // the last line of the last transfer
  std::string out = terminal.output();
  EXPECT_EQ(count(out, "first\n"), 1u);
  EXPECT_LT(count(out, "f.vpt - "), 100u);
  size_t last = out.find("f.vpt - 1000/1000\n");
  ASSERT_NE(last, std::string::npos) << out;
  EXPECT_LT(last, out.find("g.vpt - 1/2\n"));
  EXPECT_NE(out.find("g.vpt - 2/2\ng.vpt - 0/2\n"), std::string::npos) << out;
  EXPECT_LT(out.find("g.vpt - 0/2\n"), out.find("second\n"));
  EXPECT_NE(out.find("second\nh.vpt - 5/9\n"), std::string::npos);
  EXPECT_EQ(out.find('['), std::string::npos);  // no bar off a terminal
}

TEST(ConsoleFrontEnd, HeadingNoticeAndBoxesArePrinted) {
  Terminal terminal;
  ConsoleFrontEnd console(terminal.out(), terminal.in(), false);
  console.setControlText(kRemainingTimeLabel, "Time left");  // hidden: not printed
  console.setControlText(kNoticeTitle, "Notice");
  console.setControlText(kStartButton, "Close");  // a button: not printed
  console.setControlText(kNoticeBox, "Maintenance today.\r\nBack at 10.\r\n");
  EXPECT_EQ(console.messageBox("Cannot write file", "Error", BoxButtons::ok), BoxAnswer::ok);
  EXPECT_EQ(terminal.output(),
            "== Notice ==\n"
            "== Notice ==\nMaintenance today.\nBack at 10.\n"
            "Error: Cannot write file\n");
}

TEST(ConsoleFrontEnd, YesNoBoxReadsOneLine) {
  struct Case { const char* input; BoxAnswer answer; };
  const Case cases[] = {{"y\n", BoxAnswer::yes},   {"YES\n", BoxAnswer::yes},
                        {" Yes \r\n", BoxAnswer::yes}, {"yes", BoxAnswer::yes},
                        {"n\n", BoxAnswer::no},    {"\n", BoxAnswer::no},
                        {"yess\n", BoxAnswer::no}, {"", BoxAnswer::no},
                        {"no\ny\n", BoxAnswer::no}};
  for (const Case& c : cases) {
    Terminal terminal(c.input);
    ConsoleFrontEnd console(terminal.out(), terminal.in(), false);
    EXPECT_EQ(console.messageBox("Repack now?", "Patch", BoxButtons::yesNo), c.answer)
        << c.input;
    EXPECT_EQ(terminal.output(), "Patch: Repack now? [y/N] \n");
  }
}

TEST(ConsoleFrontEnd, OnATerminalTheLiveLineShowsBarAndStatus) {
  Terminal terminal;
  ConsoleFrontEnd console(terminal.out(), terminal.in(), true, 48);
  console.setControlText(kStatusLine, "a.vpt - 0/10");
  for (int i = 1; i <= 10; ++i) {
    console.setControlText(kStatusLine, "a.vpt - " + std::to_string(i) + "/10");
    console.setProgressPosition(kProgressBar, i * 100);
    console.setProgressRange(kProgressBar, 1000);
  }
  console.flush();  // the last state is what is shown
  std::string out = terminal.output();
  EXPECT_EQ(out.substr(out.rfind("\r\033[K")), "\r\033[K[####################] 100% a.vpt - 10/10");
  // A new status makes the last line of the transfer permanent.
  console.setControlText(kStatusLine, "패치 작업 완료 패치 작업 완료");
  out = terminal.output();
  EXPECT_NE(out.find("\r\033[Ka.vpt - 10/10\n"), std::string::npos);
  // Cut to the width: 48 columns less the bar (28) and one spare; the
  // Korean syllables are two columns wide.
  EXPECT_EQ(out.substr(out.rfind("\r\033[K")),
            "\r\033[K[####################] 100% 패치 작업 완료 패치");
}

// A whole dialog: the worker's run, then the question after a completed run.
TEST(ConsoleFrontEnd, RunModalAsksToStartTheGameOnlyAfterCompletion) {
  struct Case { bool done; const char* input; bool asks, launches; };
  const Case cases[] = {{true, "y\n", true, true},
                        {true, "n\n", true, false},
                        {true, "", true, false},
                        {false, "y\n", false, false}};
  for (const Case& c : cases) {
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    TraceCapture trace;
    Terminal terminal(c.input);
    ConsoleFrontEnd console(terminal.out(), terminal.in(), false);
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.setRepackOnly(true);  // no network
    PatchConfig::assign(client.settings().gameCommandLine, "no-such-game-8c1f");
    if (c.done) client.markPatchingDone();
    EXPECT_EQ(console.runModal(&client), 0);
    client.joinWorker();
    std::string out = terminal.output();
    EXPECT_EQ(out.find("== Notice ==\nContacting the patch server. Please wait.\n"), 0u) << out;
    EXPECT_EQ(out.find("Start game? [y/N] ") != std::string::npos, c.asks) << out;
    EXPECT_EQ(trace.contains("starting no-such-game-8c1f\n"), c.launches);
    EXPECT_TRUE(trace.contains("worker: repack-only run\n"));
  }
}

}  // namespace
}  // namespace corvanth
