// A way of showing the patch dialog: the Qt window or the console.
#ifndef CORVANTH_APP_DIALOG_FRONT_END_H_
#define CORVANTH_APP_DIALOG_FRONT_END_H_

namespace corvanth {

class PatchClient;

class DialogFrontEnd {
 public:
  virtual ~DialogFrontEnd() = default;

  // Shows dialog 126 with client's dialog procedure: sends it the
  // initialisation message, then the user's commands, and returns the result
  // given to endDialog. The worker may still be running on return.
  virtual int runModal(PatchClient* client) = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_APP_DIALOG_FRONT_END_H_
