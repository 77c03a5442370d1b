// DialogControl: control writes routed to the dialog host.
#include "app/dialog_control.h"

#include <cstdio>

namespace corvanth {

void DialogControl::setText(const char* text) const {
  if (dialog_ != nullptr) dialog_->setControlText(number_, text);
}

void DialogControl::setTextFormat(const char* format, ...) const {
  va_list args;
  va_start(args, format);
  setTextFormatV(format, args);
  va_end(args);
}

void DialogControl::setTextFormatV(const char* format, va_list args) const {
  char buffer[kFormatBufferSize];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  setText(buffer);
}

void DialogControl::setPosition(int position) const {
  if (dialog_ != nullptr) dialog_->setProgressPosition(number_, position);
}

void DialogControl::setRange(int maximum) const {
  if (dialog_ != nullptr) dialog_->setProgressRange(number_, maximum);
}

void DialogControl::setProgress(int done, int total) const {
  if (total > 1000000) {
    done /= 1000;
    total /= 1000;
  }
  setPosition(done);
  setRange(total);
}

void DialogControl::fill() const {
  setPosition(1);
  setRange(1);
}

void DialogControl::focus() const {
  if (dialog_ != nullptr) dialog_->focusControl(number_);
}

}  // namespace corvanth
