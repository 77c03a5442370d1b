// corvanth-dialog-shot LANGUAGE OUTPUT.png: renders the patch dialog in the
// middle of a download, with a sample notice, for the pictures in docs/.
// LANGUAGE is a locale name (ko_KR, en_US, ...). Runs offscreen.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "app/patch_client.h"
#include "frontend/qt/qt_front_end.h"

namespace {

const char* sampleNotice(corvanth::Language language) {
  if (language == corvanth::Language::korean) {
    return "[공지] 정기 점검 안내\r\n\r\n"
           "매주 수요일 오전 6시부터 10시까지 정기 점검이 진행됩니다.\r\n"
           "점검 중에는 게임에 접속할 수 없습니다.\r\n\r\n"
           "이번 패치에서는 새 지역과 아이템이 추가되었습니다.\r\n";
  }
  return "[Notice] Weekly maintenance\r\n\r\n"
         "The servers are down for maintenance every Wednesday from 6 to 10 a.m.\r\n"
         "The game cannot be played during maintenance.\r\n\r\n"
         "This patch adds a new region and new items.\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: corvanth-dialog-shot LANGUAGE OUTPUT.png\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  corvanth::Language language = corvanth::languageFromLocaleName(argv[1]);
  corvanth::PatchClient client(corvanth::Env::defaultEnv(), language);
  corvanth::QtFrontEnd frontEnd(language);

  // The state a few seconds into a patch run, without running one.
  client.bindControls(&frontEnd);
  frontEnd.setControlText(corvanth::kRemainingTimeLabel, client.message(12));
  frontEnd.setControlText(corvanth::kNoticeTitle, client.message(7));
  frontEnd.setControlText(corvanth::kStartButton, client.message(14));
  frontEnd.setControlText(corvanth::kNoticeBox, sampleNotice(language));
  client.reportTransfer("patch0042.vpt", 61440, 153600);
  frontEnd.applyPending();

  QDialog* dialog = frontEnd.dialog();
  dialog->show();
  QApplication::processEvents();
  if (!dialog->grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "corvanth-dialog-shot: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
