// The patch dialog as a Qt window.
//
// The worker's control calls record the new state and return; the dialog's
// (GUI) thread brings the widgets up to that state at most 30 times a second,
// so the last text and position of a run are always what is shown, however
// often the worker reports. A message box is shown by the GUI thread without
// an owner and without modality, so the dialog stays usable, while the
// calling worker waits for the answer.
#ifndef CORVANTH_FRONTEND_QT_QT_FRONT_END_H_
#define CORVANTH_FRONTEND_QT_QT_FRONT_END_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/dialog_front_end.h"
#include "app/message_catalog.h"
#include "platform/dialog_host.h"

class QDialog;
class QEventLoop;
class QTimer;
class QWidget;

namespace corvanth {

class PatchDialogWindow;

class QtFrontEnd : public DialogFrontEnd, public DialogHost {
 public:
  // REQUIRES: a QApplication exists; the calling thread is its GUI thread.
  explicit QtFrontEnd(Language language);
  ~QtFrontEnd() override;

  // Shows the dialog centred on the screen and runs its event loop until
  // endDialog; the buttons, Enter, Escape and the close box reach client's
  // dialog procedure.
  int runModal(PatchClient* client) override;

  // Any thread.
  void setControlText(int control, const std::string& text) override;
  void setProgressPosition(int control, int position) override;
  void setProgressRange(int control, int maximum) override;
  void focusControl(int control) override;
  BoxAnswer messageBox(const std::string& text, const std::string& caption,
                       BoxButtons buttons) override;
  void endDialog(int result) override;

  // GUI thread: the window, one of its controls by number (null for an
  // unknown number), and the widgets brought up to the recorded state now.
  QDialog* dialog() const;
  QWidget* control(int number) const;
  void applyPending();

 private:
  friend class PatchDialogWindow;

  bool onGuiThread() const;
  // Sends one message to the dialog procedure (GUI thread).
  void dispatch(int message, int first);
  // Shows a box on the GUI thread; done receives the answer.
  void showBox(const std::string& text, const std::string& caption, BoxButtons buttons,
               std::function<void(BoxAnswer)> done);

  std::unique_ptr<PatchDialogWindow> window_;
  QTimer* refreshTimer_ = nullptr;  // owned by window_
  QEventLoop* loop_ = nullptr;      // while runModal runs
  PatchClient* client_ = nullptr;   // while runModal runs; not owned
  int result_ = 0;
  bool ended_ = false;

  // The state the worker asked for and the widgets do not show yet.
  std::mutex mutex_;
  std::map<int, std::string> texts_;
  bool positionPending_ = false;
  int position_ = 0;
  bool rangePending_ = false;
  int range_ = 100;
  int focus_ = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_FRONTEND_QT_QT_FRONT_END_H_
