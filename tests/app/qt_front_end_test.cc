// The Qt dialog offscreen: its controls as the template has them, the
// buttons, keys and close box reaching the dialog procedure, and the
// worker's writes and boxes served by the dialog's thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <thread>

#include "app/dialog_control.h"
#include "app/patch_client.h"
#include "frontend/qt/qt_front_end.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

// Fontconfig keeps a cache it never frees; under LeakSanitizer that is not
// this program's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace corvanth {
namespace {

void ensureApplication() {
  static int argc = 1;
  static char name[] = "qt_front_end_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // tests never need a display
    new QApplication(argc, argv);               // lives as long as the process
  }
}

// Runs events until done() or a generous bound; false when it never came.
bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::qWait(5);
  }
  return done();
}

QMessageBox* openBox() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

// Waits for the client's worker to end, answering any box it raises.
bool waitForWorker(const PatchClient& client) {
  return waitFor([&] {
    if (QMessageBox* box = openBox()) box->buttons().first()->click();
    return !client.workerRunning();
  });
}

class QtFrontEndTest : public ::testing::Test {
 protected:
  QtFrontEndTest() : cwd_(dir_.path()) { ensureApplication(); }

  TempDir dir_;
  ScopedCurrentDir cwd_;
};

TEST_F(QtFrontEndTest, ControlsAsTheTemplate) {
  QtFrontEnd frontEnd(Language::korean);
  QDialog* dialog = frontEnd.dialog();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Patch client"));
  EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
  for (int number : {1, 2, 1000, 1001, 1003, 1004, 1005, 1006, 1007, 1010}) {
    EXPECT_NE(frontEnd.control(number), nullptr) << number;
  }
  EXPECT_EQ(frontEnd.control(1002), nullptr);
  EXPECT_TRUE(frontEnd.control(kRemainingTimeLabel)->isHidden());
  EXPECT_TRUE(frontEnd.control(kSpeedLabel)->isHidden());
  EXPECT_FALSE(frontEnd.control(kSpeedValue)->isHidden());
  auto* start = qobject_cast<QPushButton*>(frontEnd.control(kStartButton));
  auto* close = qobject_cast<QPushButton*>(frontEnd.control(kCloseButton));
  ASSERT_TRUE(start && close);
  EXPECT_TRUE(start->isDefault());
  EXPECT_EQ(start->text(), QStringLiteral("Ok"));
  EXPECT_EQ(close->text(), QString::fromUtf8("종 료"));
  auto* notice = qobject_cast<QPlainTextEdit*>(frontEnd.control(kNoticeBox));
  ASSERT_TRUE(notice);
  EXPECT_TRUE(notice->isReadOnly());
  EXPECT_EQ(notice->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  auto* bar = qobject_cast<QProgressBar*>(frontEnd.control(kProgressBar));
  ASSERT_TRUE(bar);
  EXPECT_FALSE(bar->isTextVisible());
  // Tab stops: the two buttons, in template order.
  EXPECT_TRUE(start->focusPolicy() & Qt::TabFocus);
  EXPECT_FALSE(notice->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(start->nextInFocusChain(), close);
  // Laid out in dialog units: x 3 and width 250 of 255 for the notice box;
  // buttons at x 148 and 202, 50 wide.
  const double unitX = dialog->width() / 255.0;
  EXPECT_NEAR(notice->x(), 3 * unitX, 1.0);
  EXPECT_NEAR(notice->width(), 250 * unitX, 1.0);
  EXPECT_NEAR(start->x(), 148 * unitX, 1.0);
  EXPECT_NEAR(close->x(), 202 * unitX, 1.0);
  const double unitY = dialog->height() / 249.0;
  EXPECT_NEAR(frontEnd.control(kStatusLine)->y(), 178 * unitY, 1.0);
  EXPECT_NEAR(bar->y(), 194 * unitY, 1.0);
}

// Each way of ending the dialog, before and after completion.
TEST_F(QtFrontEndTest, ButtonsKeysAndCloseBoxEndTheDialog) {
  enum Action { kClickStart, kClickClose, kEscape, kEnter, kEnterInNotice, kCloseBox };
  struct Case { const char* name; Action action; bool done; bool launches; };
  const Case cases[] = {
      {"button 1 before completion", kClickStart, false, false},
      {"button 1 after completion", kClickStart, true, true},
      {"button 2", kClickClose, true, false},
      {"Escape", kEscape, true, false},
      {"Enter after completion", kEnter, true, true},
      {"Enter in the notice box", kEnterInNotice, true, true},
      {"close box", kCloseBox, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TraceCapture trace;
    QtFrontEnd frontEnd(Language::usEnglish);
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.setRepackOnly(true);  // no network
    PatchConfig::assign(client.settings().gameCommandLine, "no-such-game-8c1f");
    if (c.done) client.markPatchingDone();
    QDialog* dialog = frontEnd.dialog();
    bool shown = false;
    QTimer::singleShot(0, dialog, [&] {
      shown = dialog->isVisible();
      EXPECT_TRUE(waitForWorker(client));
      frontEnd.applyPending();
      EXPECT_EQ(qobject_cast<QLabel*>(frontEnd.control(kNoticeTitle))->text(),
                QStringLiteral("Notice"));
      EXPECT_EQ(qobject_cast<QPushButton*>(frontEnd.control(kStartButton))->text(),
                QStringLiteral("Close"));
      switch (c.action) {
        case kClickStart:
          QTest::mouseClick(frontEnd.control(kStartButton), Qt::LeftButton);
          break;
        case kClickClose:
          QTest::mouseClick(frontEnd.control(kCloseButton), Qt::LeftButton);
          break;
        case kEscape:
          QTest::keyClick(dialog, Qt::Key_Escape);
          break;
        case kEnter:
          QTest::keyClick(dialog, Qt::Key_Return);
          break;
        case kEnterInNotice:
          frontEnd.control(kNoticeBox)->setFocus();
          QTest::keyClick(frontEnd.control(kNoticeBox), Qt::Key_Return);
          break;
        case kCloseBox:
          dialog->close();
          break;
      }
    });
    EXPECT_EQ(frontEnd.runModal(&client), 0);
    client.joinWorker();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(trace.contains("starting no-such-game-8c1f\n"), c.launches);
  }
}

// The worker's writes and a Yes/No box, while the dialog stays usable.
TEST_F(QtFrontEndTest, WorkerWritesAndBoxesAreServedByTheDialogThread) {
  QtFrontEnd frontEnd(Language::usEnglish);
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.setRepackOnly(true);
  QDialog* dialog = frontEnd.dialog();
  BoxAnswer answer = BoxAnswer::ok;
  QTimer::singleShot(0, dialog, [&] {
    EXPECT_TRUE(waitForWorker(client));
    // A stand-in worker: writes through the client, then asks.
    std::thread worker([&] {
      client.setStatusFormat("%s - %d/%d", "a.vpt", 3, 5);
      client.setProgress(3000000, 5000000);
      client.setStatus("Repack?");
      answer = client.messageBox("Repack now?", "Question", BoxButtons::yesNo);
    });
    QMessageBox* box = nullptr;
    EXPECT_TRUE(waitFor([&] { return (box = openBox()) != nullptr; }));
    if (box != nullptr) {
      // The texts set before the box are on screen with it.
      EXPECT_EQ(qobject_cast<QLabel*>(frontEnd.control(kStatusLine))->text(),
                QStringLiteral("Repack?"));
      auto* bar = qobject_cast<QProgressBar*>(frontEnd.control(kProgressBar));
      EXPECT_EQ(bar->value(), 3000);
      EXPECT_EQ(bar->maximum(), 5000);
      EXPECT_EQ(box->text(), QStringLiteral("Repack now?"));
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      // No owner and no modality: the dialog is not blocked by the box.
      EXPECT_EQ(box->parentWidget(), nullptr);
      EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
      EXPECT_TRUE(dialog->isEnabled());
      QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    }
    worker.join();
    QTest::mouseClick(frontEnd.control(kCloseButton), Qt::LeftButton);
  });
  frontEnd.runModal(&client);
  client.joinWorker();
  EXPECT_EQ(answer, BoxAnswer::yes);
}

}  // namespace
}  // namespace corvanth
