// One control of the patch dialog: its number and the dialog it lives in.
#ifndef CORVANTH_APP_DIALOG_CONTROL_H_
#define CORVANTH_APP_DIALOG_CONTROL_H_

#include <cstdarg>

#include "platform/dialog_host.h"

namespace corvanth {

// Control numbers of dialog 126.
enum ControlNumber : int {
  kStartButton = 1,
  kCloseButton = 2,
  kStatusLine = 1000,
  kProgressBar = 1001,
  kSpeedValue = 1003,
  kRemainingTimeValue = 1004,
  kNoticeBox = 1005,
  kRemainingTimeLabel = 1006,
  kSpeedLabel = 1007,
  kNoticeTitle = 1010,
};

class DialogControl {
 public:
  static constexpr int kFormatBufferSize = 1024;

  void bind(DialogHost* dialog, int number) {
    dialog_ = dialog;
    number_ = number;
  }
  // The dialog that serves this control; null before bind.
  DialogHost* window() const { return dialog_; }
  int number() const { return number_; }

  // Every operation does nothing while the control is not bound.
  void setText(const char* text) const;
  // Formats into a 1024-byte buffer (cut there), then sets the text.
  void setTextFormat(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void setTextFormatV(const char* format, va_list args) const;
  void setPosition(int position) const;
  void setRange(int maximum) const;
  // Totals above 1,000,000 are divided by 1000 (both values); then the
  // position is set, then the range 0..total.
  void setProgress(int done, int total) const;
  // Position 1 of range 0..1: a full bar.
  void fill() const;
  void focus() const;

 private:
  DialogHost* dialog_ = nullptr;  // not owned
  int number_ = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_APP_DIALOG_CONTROL_H_
