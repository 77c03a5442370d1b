// The operator's way end to end: vdt makes and publishes patches, the
// client run over real loopback servers brings the game to NEW's content.
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "game_fixture.h"
#include "support/temp_dir.h"
#include "tools/vdt/vdt.h"

namespace corvanth {
namespace {

namespace fs = std::filesystem;

void vdtOk(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = vdt::runVdt(args, out, err);
  ASSERT_EQ(status, 0) << args[0] << ": " << err.str();
}

void makeTree(const std::string& root, const Contents& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories((fs::path(root) / name).parent_path());
    ASSERT_TRUE(writeFile(root + "/" + name, content));
  }
}

TEST(PublishRunTest, DiffPublishAndAClientRunGiveTheNewArchivesContent) {
  GameFixture fx;
  TempDir work;
  const std::string webDir = fs::path(fx.web("x")).parent_path().string();
  const std::string ftpDir = fs::path(fx.ftp("x")).parent_path().string();
  fs::create_directories(webDir);
  fs::create_directories(ftpDir);

  const std::string longText(700, 'q');
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("old"), {{"a.txt", "alpha"},
                                                      {"b.dat", longText},
                                                      {"model/c.vrm", longText + "c"},
                                                      {"keep.bin", "kept"}}));
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("new"), {{"a.txt", "alpha, second edition"},
                                                      {"b.dat", longText},
                                                      {"model/c.vrm", longText + "C"},
                                                      {"keep.bin", "kept"},
                                                      {"d.txt", "delta"}}));
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("pkg"), {{"maps/w1.txt", "abc"}}));
  // The shipped game: the older enciphered form; NEW is a plain 2.0 build.
  ASSERT_NO_FATAL_FAILURE(
      vdtOk({"create", work.file("old.vdt"), work.file("old"), "--legacy", "0x101"}));
  ASSERT_NO_FATAL_FAILURE(vdtOk({"create", work.file("new.vdt"), work.file("new")}));
  fs::copy_file(work.file("old.vdt"), fx.game("sdata.vdt"));

  ASSERT_NO_FATAL_FAILURE(
      vdtOk({"diff", work.file("old.vdt"), work.file("new.vdt"), "-o", work.file("up1.vpt")}));
  ASSERT_NO_FATAL_FAILURE(vdtOk({"pack", work.file("pkg"), "-o", work.file("upd.cgz")}));
  ASSERT_NO_FATAL_FAILURE(vdtOk(
      {"publish", work.file("up1.vpt"), "--number", "1", "--web", webDir, "--ftp", ftpDir}));
  ASSERT_NO_FATAL_FAILURE(vdtOk(
      {"publish", work.file("upd.cgz"), "--number", "2", "--web", webDir, "--ftp", ftpDir}));
  fx.putWeb("patch_allow.txt", "allow\n");
  fx.putWeb("notice_patch.txt", "Patch day\n");
  ASSERT_TRUE(fx.startServers());

  RunRecord first = runClient(fx.gameDir(), {fx.webHost(), fx.ftpHost(), false, {}, nullptr});
  EXPECT_TRUE(first.done) << first.lastStatus;
  Contents patched, wanted;
  uint32_t version = 0;
  ASSERT_TRUE(readArchive(fx.game("sdata.vdt"), &patched, &version));
  ASSERT_TRUE(readArchive(work.file("new.vdt"), &wanted));
  EXPECT_EQ(patched, wanted);
  EXPECT_EQ(version, 0x200u);
  EXPECT_EQ(fx.readGame("maps/w1.txt"), "abc");
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(2));

  // Nothing newer the second time: the archive stays as it is.
  const std::string after = fx.readGame("sdata.vdt");
  RunRecord second = runClient(fx.gameDir(), {fx.webHost(), fx.ftpHost(), false, {}, nullptr});
  EXPECT_TRUE(second.done);
  EXPECT_EQ(fx.readGame("sdata.vdt"), after);
}

}  // namespace
}  // namespace corvanth
