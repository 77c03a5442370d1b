// A dialog host that records every call, for asserting the exact sequence of
// status texts, progress values and boxes of a run.
#ifndef CORVANTH_TESTS_SUPPORT_RECORDING_DIALOG_HOST_H_
#define CORVANTH_TESTS_SUPPORT_RECORDING_DIALOG_HOST_H_

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialog_host.h"

namespace corvanth {

class RecordingDialogHost : public DialogHost {
 public:
  struct Call {
    enum Kind { kText, kPosition, kRange, kFocus, kBox, kEnd } kind;
    int control = 0;
    std::string text;     // text, or the box's text
    std::string caption;  // box caption
    int value = 0;        // position, range maximum, end result, box buttons
  };

  void setControlText(int control, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kText, control, text, "", 0});
    texts_[control] = text;
  }
  void setProgressPosition(int control, int position) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kPosition, control, "", "", position});
    positions_[control] = position;
  }
  void setProgressRange(int control, int maximum) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kRange, control, "", "", maximum});
    ranges_[control] = maximum;
  }
  void focusControl(int control) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kFocus, control, "", "", 0});
  }
  BoxAnswer messageBox(const std::string& text, const std::string& caption,
                       BoxButtons buttons) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kBox, 0, text, caption, buttons == BoxButtons::yesNo ? 1 : 0});
    if (buttons == BoxButtons::ok) return BoxAnswer::ok;
    if (answers_.empty()) return BoxAnswer::no;
    BoxAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  void endDialog(int result) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({Call::kEnd, 0, "", "", result});
    ended_ = true;
  }

  // Answers for the next Yes/No boxes, in order; No when none is left.
  void queueAnswer(BoxAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
  }

  std::vector<Call> calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // Every text set on one control, in order.
  std::vector<std::string> textsOf(int control) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Call& c : calls_) {
      if (c.kind == Call::kText && c.control == control) out.push_back(c.text);
    }
    return out;
  }
  std::vector<Call> boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Call> out;
    for (const Call& c : calls_) {
      if (c.kind == Call::kBox) out.push_back(c);
    }
    return out;
  }
  std::string textOf(int control) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
  }
  int positionOf(int control) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = positions_.find(control);
    return it == positions_.end() ? -1 : it->second;
  }
  int rangeOf(int control) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ranges_.find(control);
    return it == ranges_.end() ? -1 : it->second;
  }
  // How many position and range calls the progress bar received.
  int progressCallCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const Call& c : calls_) {
      if (c.kind == Call::kPosition || c.kind == Call::kRange) ++count;
    }
    return count;
  }
  bool ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::map<int, std::string> texts_;
  std::map<int, int> positions_;
  std::map<int, int> ranges_;
  std::deque<BoxAnswer> answers_;
  bool ended_ = false;
};

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_RECORDING_DIALOG_HOST_H_
