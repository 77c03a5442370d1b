// An Env whose writable files break one chosen write, for crash-safety tests.
#ifndef CORVANTH_TESTS_SUPPORT_FAULT_ENV_H_
#define CORVANTH_TESTS_SUPPORT_FAULT_ENV_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "platform/env.h"

namespace corvanth {

enum class WriteFault {
  fail,        // nothing is written, the write reports an error
  shortWrite,  // the first half is written, the write reports that much
};

inline void PrintTo(WriteFault fault, std::ostream* os) {
  *os << (fault == WriteFault::fail ? "fail" : "shortWrite");
}

// Counts the writes of every file that it opened for writing and breaks the
// k-th of them (1-based, counted since the last failWrite call). Files stay
// valid only as long as the env.
class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env* target = Env::defaultEnv());

  // Breaks the k-th write from now on in the given way; k = 0 breaks none.
  void failWrite(uint64_t k, WriteFault fault);
  // Makes every write count as synchronous: buffered opens become
  // write-through.
  void forceWriteThrough(bool on) { forceWriteThrough_ = on; }
  // Makes every sync fail without syncing.
  void failSyncs(bool on) { counters_->failSyncs = on; }

  // Writes since the last failWrite call, the broken one included.
  uint64_t writes() const { return counters_->writes; }
  // Of those, the ones on write-through files, and sync calls. syncs may
  // be counted on another thread; read it once the writer is done.
  uint64_t synchronousWrites() const { return counters_->synchronousWrites; }
  uint64_t syncs() const { return counters_->syncs; }
  bool faultHit() const { return counters_->faultHit; }

  std::unique_ptr<RandomFile> openReadWrite(const std::string& path, WriteMode mode) override;

  struct Counters {
    uint64_t writes = 0;
    uint64_t synchronousWrites = 0;
    uint64_t syncs = 0;
    uint64_t failAt = 0;
    WriteFault fault = WriteFault::fail;
    bool faultHit = false;
    bool failSyncs = false;
  };

 private:
  std::shared_ptr<Counters> counters_;
  bool forceWriteThrough_ = false;
};

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_FAULT_ENV_H_
