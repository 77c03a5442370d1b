// The dialog services the worker uses: control texts, the progress bar, the
// keyboard focus and message boxes. A front-end (Qt window, console) provides
// them; the worker calls them synchronously and the front-end's own thread
// serves them. Tests use a recording implementation.
#ifndef CORVANTH_PLATFORM_DIALOG_HOST_H_
#define CORVANTH_PLATFORM_DIALOG_HOST_H_

#include <string>

namespace corvanth {

enum class BoxButtons { ok, yesNo };   // yesNo also shows the question icon
enum class BoxAnswer { ok, yes, no };

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  virtual void setControlText(int control, const std::string& text) = 0;
  virtual void setProgressPosition(int control, int position) = 0;
  // The bar's range becomes 0..maximum (16-bit bounds).
  virtual void setProgressRange(int control, int maximum) = 0;
  virtual void focusControl(int control) = 0;
  // A box without owner: it blocks only the caller; the dialog stays usable.
  virtual BoxAnswer messageBox(const std::string& text, const std::string& caption,
                               BoxButtons buttons) = 0;
  // Ends the modal dialog; the front-end returns from its loop.
  virtual void endDialog(int result) = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_DIALOG_HOST_H_
