// The patch dialog as a terminal front-end.
//
// Status texts become lines. On a terminal the current status is also kept
// on a live line with a progress bar, redrawn in place at most 30 times a
// second; a text becomes a permanent line when the next one replaces it. Off
// a terminal each new status is printed as it comes. The lines of one
// transfer ("name - received/expected") are thinned out, but the last one of
// every transfer is printed. Message boxes print their caption and text; a
// Yes/No box reads its answer from a line of input.
#ifndef CORVANTH_FRONTEND_CONSOLE_CONSOLE_FRONT_END_H_
#define CORVANTH_FRONTEND_CONSOLE_CONSOLE_FRONT_END_H_

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/dialog_front_end.h"
#include "platform/dialog_host.h"

namespace corvanth {

class ConsoleFrontEnd : public DialogFrontEnd, public DialogHost {
 public:
  // Writes to out and reads answers from in (neither owned). live selects
  // the redrawn status line; terminalWidth cuts it (columns).
  ConsoleFrontEnd(std::FILE* out, std::FILE* in, bool live, int terminalWidth = 80);
  // Live when out is a terminal that can redraw a line.
  static bool isLiveTerminal(std::FILE* out, int* width);

  // Runs the dialog until the worker ends; after a completed patch run it
  // asks whether to start the game (button 1 on yes, button 2 otherwise).
  int runModal(PatchClient* client) override;

  void setControlText(int control, const std::string& text) override;
  void setProgressPosition(int control, int position) override;
  void setProgressRange(int control, int maximum) override;
  void focusControl(int control) override;
  BoxAnswer messageBox(const std::string& text, const std::string& caption,
                       BoxButtons buttons) override;
  void endDialog(int result) override;

  // Prints what thinning or the redraw limit has held back.
  void flush();
  // True for "y" or "yes" in any case, with surrounding blanks ignored.
  static bool isYes(const std::string& line);

 private:
  using Clock = std::chrono::steady_clock;

  void setStatus(const std::string& text);
  // REQUIRES: mutex_ held. Prints the held-back status line, if any.
  void printPendingStatus();
  // REQUIRES: mutex_ held. Removes the live line from the screen.
  void eraseLive();
  // REQUIRES: mutex_ held. Draws the live line (bar and status).
  void drawLive();
  // The bar moved: redraws the live line unless one was drawn just now.
  // REQUIRES: mutex_ held.
  void barChanged();
  // REQUIRES: mutex_ held. Lines printed above the live line.
  void printLine(const std::string& text);
  // Reads one line of input; false at its end.
  bool readLine(std::string* line);
  // Prints a question and reads the answer: true for yes.
  bool ask(const std::string& question);

  std::FILE* out_;
  std::FILE* in_;
  const bool live_;
  const int width_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string status_;          // the current status text
  bool statusPrinted_ = true;   // status_ already a permanent line
  Clock::time_point lastTransferLine_{};
  Clock::time_point lastDraw_{};
  bool liveShown_ = false;      // a live line is on the screen
  bool liveDirty_ = false;      // the live line lags behind the state
  int position_ = 0;
  int range_ = 100;             // the bar's initial range, as on the desktop
  std::string heading_;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_FRONTEND_CONSOLE_CONSOLE_FRONT_END_H_
