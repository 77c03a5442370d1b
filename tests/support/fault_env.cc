// FaultEnv: files that count their writes and break a chosen one.
#include "support/fault_env.h"

namespace corvanth {

namespace {

class FaultFile final : public RandomFile {
 public:
  FaultFile(std::unique_ptr<RandomFile> target, std::shared_ptr<FaultEnv::Counters> counters,
            bool synchronous)
      : target_(std::move(target)), counters_(std::move(counters)), synchronous_(synchronous) {}

  int64_t readAt(uint64_t offset, void* out, size_t n) override {
    return target_->readAt(offset, out, n);
  }

  int64_t writeAt(uint64_t offset, const void* data, size_t n) override {
    FaultEnv::Counters& c = *counters_;
    ++c.writes;
    if (synchronous_) ++c.synchronousWrites;
    if (c.writes != c.failAt) return target_->writeAt(offset, data, n);
    c.faultHit = true;
    if (c.fault == WriteFault::fail) return -1;
    // A prefix reaches the file, as when the disk fills up part-way.
    int64_t half = target_->writeAt(offset, data, n / 2);
    return half < 0 ? -1 : half;
  }

  bool sync() override {
    ++counters_->syncs;
    return target_->sync();
  }

  uint64_t size() override { return target_->size(); }

 private:
  std::unique_ptr<RandomFile> target_;
  std::shared_ptr<FaultEnv::Counters> counters_;
  bool synchronous_;
};

}  // namespace

FaultEnv::FaultEnv(Env* target) : EnvWrapper(target), counters_(std::make_shared<Counters>()) {}

void FaultEnv::failWrite(uint64_t k, WriteFault fault) {
  counters_->writes = 0;
  counters_->synchronousWrites = 0;
  counters_->syncs = 0;
  counters_->failAt = k;
  counters_->fault = fault;
  counters_->faultHit = false;
}

std::unique_ptr<RandomFile> FaultEnv::openReadWrite(const std::string& path, WriteMode mode) {
  if (forceWriteThrough_) mode = WriteMode::writeThrough;
  std::unique_ptr<RandomFile> file = target()->openReadWrite(path, mode);
  if (file == nullptr) return nullptr;
  return std::make_unique<FaultFile>(std::move(file), counters_,
                                     mode == WriteMode::writeThrough);
}

}  // namespace corvanth
