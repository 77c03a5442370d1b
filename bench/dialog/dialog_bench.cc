// dialog_bench MODE: one million setStatusFormat + setProgress pairs, as a
// transfer reports them, through one front-end; prints the seconds taken
// until the last text and position are what the front-end shows.
//   reference  the same million lines formatted with snprintf into a buffer
//   console    the console front-end writing into a pipe (drained)
//   qt         the Qt dialog offscreen, written from a worker thread
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app/dialog_control.h"
#include "app/patch_client.h"
#include "frontend/console/console_front_end.h"

#ifdef CORVANTH_HAVE_QT
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "frontend/qt/qt_front_end.h"
#endif

namespace {

constexpr int kPairs = 1000000;
constexpr const char* kName = "patch0042.vpt";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The worker's side of one transfer.
void report(corvanth::PatchClient* client) {
  for (int i = 1; i <= kPairs; ++i) {
    client->setStatusFormat("%s - %d/%d", kName, i, kPairs);
    client->setProgress(i / 1000, 1000);
  }
}

double runReference() {
  char buffer[corvanth::DialogControl::kFormatBufferSize];
  volatile char sink = 0;
  auto start = Clock::now();
  for (int i = 1; i <= kPairs; ++i) {
    std::snprintf(buffer, sizeof buffer, "%s - %d/%d", kName, i, kPairs);
    sink = sink + buffer[15];
  }
  return secondsSince(start);
}

double runConsole() {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  std::thread drain([fd = fds[0]] {
    char buffer[65536];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
  });
  std::FILE* out = ::fdopen(fds[1], "w");
  std::FILE* in = std::fopen("/dev/null", "r");
  double seconds = 0;
  {
    corvanth::ConsoleFrontEnd console(out, in, false);
    corvanth::PatchClient client(corvanth::Env::defaultEnv(), corvanth::Language::usEnglish);
    client.bindControls(&console);
    auto start = Clock::now();
    report(&client);
    console.flush();
    seconds = secondsSince(start);
  }
  std::fclose(out);
  std::fclose(in);
  drain.join();
  return seconds;
}

#ifdef CORVANTH_HAVE_QT
double runQt(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  corvanth::QtFrontEnd frontEnd(corvanth::Language::usEnglish);
  corvanth::PatchClient client(corvanth::Env::defaultEnv(), corvanth::Language::usEnglish);
  client.bindControls(&frontEnd);
  frontEnd.dialog()->show();
  QEventLoop loop;
  // The dialog's redraw timer runs only inside runModal; here the loop
  // redraws on the same rule, 30 times a second.
  QTimer timer;
  timer.setInterval(33);
  QObject::connect(&timer, &QTimer::timeout, [&] { frontEnd.applyPending(); });
  timer.start();
  auto start = Clock::now();
  std::thread worker([&] {
    report(&client);
    QMetaObject::invokeMethod(&loop, [&] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  frontEnd.applyPending();
  double seconds = secondsSince(start);
  worker.join();
  auto* label = qobject_cast<QLabel*>(frontEnd.control(corvanth::kStatusLine));
  auto* bar = qobject_cast<QProgressBar*>(frontEnd.control(corvanth::kProgressBar));
  std::string last = std::string(kName) + " - " + std::to_string(kPairs) + "/" +
                     std::to_string(kPairs);
  if (label->text().toStdString() != last || bar->value() != 1000) {
    std::fprintf(stderr, "dialog_bench: the last state is not shown\n");
    return -1;
  }
  return seconds;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  double seconds = -1;
  if (mode == "reference") {
    seconds = runReference();
  } else if (mode == "console") {
    seconds = runConsole();
#ifdef CORVANTH_HAVE_QT
  } else if (mode == "qt") {
    seconds = runQt(argc, argv);
#endif
  } else {
    std::fprintf(stderr, "usage: dialog_bench reference|console|qt\n");
    return 2;
  }
  if (seconds < 0) return 1;
  std::printf("%.3f\n", seconds);
  return 0;
}
