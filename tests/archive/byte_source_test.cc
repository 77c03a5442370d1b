// FileByteSource, WritableFile and MemoryByteSource.
#include "archive/byte_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace corvanth {
namespace {

TEST(ByteSourceTest, FileReadsInsideItsSizeOnly) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("f"), std::string("0123456789")));
  FileByteSource file;
  ASSERT_TRUE(file.openRead(dir.file("f")));
  EXPECT_EQ(file.size(), 10u);
  EXPECT_EQ(file.read(10, 1), nullptr);
  EXPECT_EQ(file.read(0xFFFFFFFFu, 2), nullptr);  // offset + length wraps
  EXPECT_EQ(file.read(1, 0xFFFFFFFFu), nullptr);
  const uint8_t* last = file.read(9, 1);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(*last, '9');
  const uint8_t* middle = file.read(2, 5);
  ASSERT_NE(middle, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(middle), 5), "23456");
  EXPECT_NE(file.read(10, 0), nullptr);
}

TEST(ByteSourceTest, OpenReadFailuresLeaveTheSizeAlone) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("f"), std::string("abc")));
  FileByteSource file;
  ASSERT_TRUE(file.openRead(dir.file("f")));
  EXPECT_FALSE(file.openRead(dir.file("missing")));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.size(), 3u);
  EXPECT_EQ(file.read(0, 1), nullptr);
}

TEST(ByteSourceTest, NoSharingWhileOpen) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("f"), std::string("abc")));
  FileByteSource first, second;
  WritableFile writer;
  ASSERT_TRUE(first.openRead(dir.file("f")));
  EXPECT_FALSE(second.openRead(dir.file("f")));
  EXPECT_FALSE(writer.openReadWrite(dir.file("f")));
  first.close();
  EXPECT_TRUE(second.openRead(dir.file("f")));
}

TEST(ByteSourceTest, OpenReadWriteCreatesAndWritesGrowTheSize) {
  TempDir dir;
  WritableFile file;
  ASSERT_TRUE(file.openReadWrite(dir.file("new")));
  EXPECT_TRUE(fileExists(dir.file("new")));
  EXPECT_EQ(file.size(), 0u);
  ASSERT_TRUE(file.writeAt(100, "0123456789", 10));
  EXPECT_EQ(file.size(), 110u);
  const uint8_t* hole = file.read(0, 100);
  ASSERT_NE(hole, nullptr);
  EXPECT_EQ(hole[0], 0);
  ASSERT_TRUE(file.writeAt(0, "xy", 2));
  EXPECT_EQ(file.size(), 110u);
  // A write of nothing claims no bytes that cannot be read back.
  ASSERT_TRUE(file.writeAt(500, "", 0));
  EXPECT_EQ(file.size(), 110u);
  EXPECT_FALSE(file.writeAt(0xFFFFFFF0u, "0123456789012345678", 19));
  file.close();
  EXPECT_EQ(readFile(dir.file("new")).substr(0, 2), "xy");
  EXPECT_EQ(readFile(dir.file("new")).size(), 110u);
}

TEST(ByteSourceTest, CloseTwiceOrNeverOpened) {
  FileByteSource never;
  never.close();
  never.close();
  EXPECT_EQ(never.read(0, 0), nullptr);
  WritableFile unopened;
  EXPECT_FALSE(unopened.writeAt(0, "a", 1));
  EXPECT_FALSE(unopened.sync());
}

// A file whose reads come up short and whose writes fail from the k-th on.
class FaultyEnv : public EnvWrapper {
 public:
  explicit FaultyEnv(int failingWrite) : EnvWrapper(Env::defaultEnv()), failingWrite_(failingWrite) {}

  std::unique_ptr<RandomFile> openReadWrite(const std::string& path, WriteMode mode) override {
    auto file = target()->openReadWrite(path, mode);
    if (file == nullptr) return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), this);
  }

  int writes = 0;
  int failingWrite_;
  bool shortReads = false;

 private:
  class FaultyFile : public RandomFile {
   public:
    FaultyFile(std::unique_ptr<RandomFile> base, FaultyEnv* env) : base_(std::move(base)), env_(env) {}
    int64_t readAt(uint64_t offset, void* out, size_t n) override {
      int64_t got = base_->readAt(offset, out, n);
      return env_->shortReads && got > 0 ? got - 1 : got;
    }
    int64_t writeAt(uint64_t offset, const void* data, size_t n) override {
      if (++env_->writes >= env_->failingWrite_) return n > 1 ? static_cast<int64_t>(n / 2) : -1;
      return base_->writeAt(offset, data, n);
    }
    bool sync() override { return base_->sync(); }
    uint64_t size() override { return base_->size(); }

   private:
    std::unique_ptr<RandomFile> base_;
    FaultyEnv* env_;
  };
};

TEST(ByteSourceTest, FailedWritesAndShortReads) {
  TempDir dir;
  FaultyEnv env(/*failingWrite=*/2);
  WritableFile file(&env);
  ASSERT_TRUE(file.openReadWrite(dir.file("f"), WriteMode::buffered));
  ASSERT_TRUE(file.writeAt(0, "abcd", 4));
  EXPECT_FALSE(file.writeAt(4, "efgh", 4));
  EXPECT_EQ(file.size(), 4u);
  ASSERT_NE(file.read(0, 4), nullptr);
  env.shortReads = true;
  EXPECT_EQ(file.read(0, 4), nullptr);
  env.shortReads = false;
  EXPECT_NE(file.read(0, 4), nullptr);  // still usable
}

// An Env whose files all claim a size beyond 32 bits.
class HugeEnv : public EnvWrapper {
 public:
  HugeEnv() : EnvWrapper(Env::defaultEnv()) {}
  std::unique_ptr<RandomFile> openRead(const std::string&) override {
    return std::make_unique<HugeFile>();
  }
  std::unique_ptr<RandomFile> openReadWrite(const std::string&, WriteMode) override {
    return std::make_unique<HugeFile>();
  }

 private:
  struct HugeFile : RandomFile {
    int64_t readAt(uint64_t, void*, size_t) override { return -1; }
    int64_t writeAt(uint64_t, const void*, size_t) override { return -1; }
    bool sync() override { return true; }
    uint64_t size() override { return uint64_t{1} << 32; }
  };
};

TEST(ByteSourceTest, FilesBeyond32BitsAreRefused) {
  HugeEnv env;
  WritableFile file(&env);
  EXPECT_FALSE(file.openRead("huge"));
  EXPECT_FALSE(file.openReadWrite("huge"));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.size(), 0u);
}

TEST(ByteSourceTest, MemoryPointsIntoItsBytes) {
  MemoryByteSource memory;
  EXPECT_EQ(memory.size(), 0u);
  EXPECT_NE(memory.read(0, 0), nullptr);
  EXPECT_EQ(memory.read(0, 1), nullptr);
  memory.bytes = {1, 2, 3, 4};
  EXPECT_EQ(memory.read(4, 1), nullptr);
  EXPECT_EQ(memory.read(0xFFFFFFFFu, 2), nullptr);
  EXPECT_EQ(memory.read(3, 1), memory.bytes.data() + 3);
  EXPECT_EQ(memory.read(0, 4), memory.bytes.data());
}

}  // namespace
}  // namespace corvanth
