// The progress of one transfer as the dialog shows it: the transfer line
// "name - received/expected" and the bar.
//
// Pieces arrive as the network delivers them, often 16 KiB or less, and each
// report is a synchronous call into the dialog's thread. So the line is
// refreshed whenever the bar moves (at most 1000 times a transfer) and once
// more at the end with the final count.
#ifndef CORVANTH_NET_TRANSFER_PROGRESS_H_
#define CORVANTH_NET_TRANSFER_PROGRESS_H_

#include <cstdint>

#include "app/patch_client.h"

namespace corvanth {

class TransferProgress {
 public:
  TransferProgress(PatchClient* client, const char* name, int32_t expected)
      : client_(client), name_(name), expected_(expected) {}

  // After each piece: received is the count so far.
  void advance(uint32_t received) {
    int position = positionOf(received);
    if (position == lastPosition_) return;
    report(received, position);
  }
  // After the last piece, whatever the outcome: the final count shows.
  void finish(uint32_t received) {
    if (received != reported_) report(received, positionOf(received));
  }

 private:
  // The bar's position of 1000, as PatchClient::reportTransfer sets it.
  int positionOf(uint32_t received) const {
    if (expected_ <= 0 || received >= static_cast<uint32_t>(expected_)) return 1000;
    return static_cast<int>(received * 1000.0 / expected_);
  }
  void report(uint32_t received, int position) {
    client_->reportTransfer(name_, received, expected_);
    reported_ = received;
    lastPosition_ = position;
  }

  PatchClient* client_;  // not owned
  const char* name_;
  int32_t expected_;
  uint32_t reported_ = 0;
  int lastPosition_ = -1;
};

}  // namespace corvanth

#endif  // CORVANTH_NET_TRANSFER_PROGRESS_H_
