// QtFrontEnd: dialog 126 as a QDialog, laid out in dialog units.
#include "frontend/qt/qt_front_end.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <condition_variable>

#include "app/dialog_control.h"
#include "app/patch_client.h"

namespace corvanth {
namespace {

constexpr int kRedrawIntervalMs = 33;  // at most 30 redraws a second

// The font of each language's template, with the fonts of this platform.
const char* fontFamilyFor(Language language) {
  switch (language) {
    case Language::korean: return "Noto Sans CJK KR";
    case Language::japanese: return "Noto Sans CJK JP";
    case Language::traditionalChinese: return "Noto Sans CJK TC";
    case Language::simplifiedChinese: return "Noto Sans CJK SC";
    case Language::usEnglish: break;
  }
  return "DejaVu Sans";
}

// Button 2's text in each language's template; the client never changes it.
const char* closeButtonTextFor(Language language) {
  switch (language) {
    case Language::korean: return "종 료";
    case Language::japanese: return "終了";
    case Language::traditionalChinese: return "結束";
    case Language::simplifiedChinese: return "结束";
    case Language::usEnglish: break;
  }
  return "Exit";
}

// Notice files come with the desktop platform's line ends.
QString plainText(const std::string& text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

int mulDiv(int value, int numerator, int denominator) {
  return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

// The window itself: its controls, and the user's actions turned into the
// dialog procedure's messages.
class PatchDialogWindow : public QDialog {
 public:
  PatchDialogWindow(QtFrontEnd* owner, Language language) : owner_(owner) {
    setWindowTitle(QStringLiteral("Patch client"));
    // Title bar, system menu and close box; no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font(QString::fromUtf8(fontFamilyFor(language)));
    font.setPointSize(9);
    setFont(font);

    // Dialog units: a quarter of the font's average character width
    // across, an eighth of its height down.
    QFontMetrics metrics(font);
    baseX_ = (metrics.horizontalAdvance(
                  QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                  26 + 1) / 2;
    baseY_ = metrics.height();
    setFixedSize(unitsX(255), unitsY(249));

    // Template order, which is also the tab order.
    auto* noticeTitle = addLabel(kNoticeTitle, "noticeTitle", 4, 4, 140, 15, "");
    noticeTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    noticeBox_ = new QPlainTextEdit(this);
    noticeBox_->setObjectName(QStringLiteral("noticeBox"));
    noticeBox_->setReadOnly(true);
    noticeBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    noticeBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    noticeBox_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    noticeBox_->setFocusPolicy(Qt::ClickFocus);  // no tab stop
    place(noticeBox_, kNoticeBox, 3, 20, 250, 150);
    addLabel(kStatusLine, "statusLine", 3, 178, 250, 10, " ");
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setTextVisible(false);  // a plain, smooth bar
    bar_->setRange(0, 100);
    bar_->setValue(0);
    place(bar_, kProgressBar, 3, 194, 250, 9);
    addLabel(kRemainingTimeLabel, "remainingTimeLabel", 3, 210, 33, 9, "RestTime")->hide();
    addLabel(kRemainingTimeValue, "remainingTimeValue", 45, 211, 100, 8, " ");
    addLabel(kSpeedLabel, "speedLabel", 3, 232, 30, 12, "Speed")->hide();
    addLabel(kSpeedValue, "speedValue", 45, 232, 100, 12, " ");
    auto* start = addButton(kStartButton, "startButton", 148, 220, "Ok");
    start->setDefault(true);
    auto* close = addButton(kCloseButton, "closeButton", 202, 220, closeButtonTextFor(language));
    setTabOrder(start, close);
  }

  QWidget* control(int number) const {
    auto found = controls_.find(number);
    return found == controls_.end() ? nullptr : found->second;
  }

  void setText(int number, const std::string& text) {
    QWidget* widget = control(number);
    if (widget == noticeBox_) {
      noticeBox_->setPlainText(plainText(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      button->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
  }

  void setBar(int position, int range) {
    // A range of 0..0 shows an empty bar here, never Qt's busy indicator.
    int maximum = range > 0 ? range : 1;
    bar_->setRange(0, maximum);
    bar_->setValue(range > 0 ? std::clamp(position, 0, maximum) : 0);
  }

  void centreOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  }

 protected:
  // Escape.
  void reject() override { owner_->dispatch(kMessageCommand, kCloseButton); }
  // The close box: the dialog procedure decides, so Qt never closes it alone.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    owner_->dispatch(kMessageClose, 0);
  }

 private:
  int unitsX(int units) const { return mulDiv(units, baseX_, 4); }
  int unitsY(int units) const { return mulDiv(units, baseY_, 8); }

  void place(QWidget* widget, int number, int x, int y, int width, int height) {
    widget->setGeometry(unitsX(x), unitsY(y), unitsX(width), unitsY(height));
    controls_[number] = widget;
  }

  QLabel* addLabel(int number, const char* name, int x, int y, int width, int height,
                   const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, number, x, y, width, height);
    return label;
  }

  QPushButton* addButton(int number, const char* name, int x, int y, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setFocusPolicy(Qt::StrongFocus);  // tab stop
    place(button, number, x, y, 50, 14);
    connect(button, &QPushButton::clicked, this,
            [this, number] { owner_->dispatch(kMessageCommand, number); });
    return button;
  }

  QtFrontEnd* owner_;
  int baseX_ = 6;
  int baseY_ = 13;
  std::map<int, QWidget*> controls_;
  QPlainTextEdit* noticeBox_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

QtFrontEnd::QtFrontEnd(Language language)
    : window_(std::make_unique<PatchDialogWindow>(this, language)) {
  refreshTimer_ = new QTimer(window_.get());
  refreshTimer_->setInterval(kRedrawIntervalMs);
  QObject::connect(refreshTimer_, &QTimer::timeout, window_.get(), [this] { applyPending(); });
}

QtFrontEnd::~QtFrontEnd() = default;

QDialog* QtFrontEnd::dialog() const { return window_.get(); }

QWidget* QtFrontEnd::control(int number) const { return window_->control(number); }

bool QtFrontEnd::onGuiThread() const { return QThread::currentThread() == window_->thread(); }

int QtFrontEnd::runModal(PatchClient* client) {
  client_ = client;
  ended_ = false;
  result_ = 0;
  // Binds the controls, sets the first texts and starts the worker.
  client->handleDialogMessage(this, kMessageInitDialog, 0, 0);
  if (!ended_) {
    // Not Qt-modal: the worker's boxes, which have no owner, must not be
    // blocked by the dialog, nor the dialog by them.
    window_->centreOnScreen();
    window_->show();
    refreshTimer_->start();
    QEventLoop loop;
    loop_ = &loop;
    if (!ended_) loop.exec();
    loop_ = nullptr;
  }
  refreshTimer_->stop();
  applyPending();
  window_->hide();
  client_ = nullptr;
  return result_;
}

void QtFrontEnd::dispatch(int message, int first) {
  if (client_ != nullptr && !ended_) client_->handleDialogMessage(this, message, first, 0);
}

void QtFrontEnd::setControlText(int control, const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[control] = text;
  }
  if (onGuiThread()) applyPending();
}

void QtFrontEnd::setProgressPosition(int control, int position) {
  if (control != kProgressBar) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    position_ = position;
    positionPending_ = true;
  }
  if (onGuiThread()) applyPending();
}

void QtFrontEnd::setProgressRange(int control, int maximum) {
  if (control != kProgressBar) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    range_ = maximum;
    rangePending_ = true;
  }
  if (onGuiThread()) applyPending();
}

void QtFrontEnd::focusControl(int control) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    focus_ = control;
  }
  if (onGuiThread()) applyPending();
}

void QtFrontEnd::applyPending() {
  std::map<int, std::string> texts;
  bool barChanged = false;
  int position = 0;
  int range = 0;
  int focus = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    texts.swap(texts_);
    barChanged = positionPending_ || rangePending_;
    positionPending_ = rangePending_ = false;
    position = position_;
    range = range_;
    focus = focus_;
    focus_ = 0;
  }
  for (const auto& [number, text] : texts) window_->setText(number, text);
  if (barChanged) window_->setBar(position, range);
  if (focus != 0) {
    if (QWidget* widget = control(focus)) widget->setFocus();
  }
}

BoxAnswer QtFrontEnd::messageBox(const std::string& text, const std::string& caption,
                                 BoxButtons buttons) {
  if (onGuiThread()) {
    BoxAnswer answer = BoxAnswer::no;
    QEventLoop loop;
    showBox(text, caption, buttons, [&](BoxAnswer a) {
      answer = a;
      loop.quit();
    });
    loop.exec();
    return answer;
  }
  // The worker waits here; the GUI thread shows the box and goes on serving
  // the dialog until the box is answered.
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  BoxAnswer answer = BoxAnswer::no;
  QMetaObject::invokeMethod(
      window_.get(),
      [&, this] {
        applyPending();  // the box follows the texts set before it
        showBox(text, caption, buttons, [&](BoxAnswer a) {
          std::lock_guard<std::mutex> lock(mutex);
          answer = a;
          done = true;
          answered.notify_one();
        });
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex);
  answered.wait(lock, [&] { return done; });
  return answer;
}

void QtFrontEnd::showBox(const std::string& text, const std::string& caption,
                         BoxButtons buttons, std::function<void(BoxAnswer)> done) {
  bool yesNo = buttons == BoxButtons::yesNo;
  auto* box = new QMessageBox(
      yesNo ? QMessageBox::Question : QMessageBox::NoIcon,
      QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
      yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, nullptr);
  box->setObjectName(QStringLiteral("messageBox"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  QObject::connect(box, &QMessageBox::finished, box, [box, yesNo, done] {
    if (!yesNo) {
      done(BoxAnswer::ok);
    } else {
      bool yes = box->clickedButton() != nullptr &&
                 box->standardButton(box->clickedButton()) == QMessageBox::Yes;
      done(yes ? BoxAnswer::yes : BoxAnswer::no);
    }
  });
  box->show();
  box->raise();
  box->activateWindow();
}

void QtFrontEnd::endDialog(int result) {
  if (!onGuiThread()) {
    QMetaObject::invokeMethod(window_.get(), [this, result] { endDialog(result); },
                              Qt::QueuedConnection);
    return;
  }
  ended_ = true;
  result_ = result;
  window_->hide();
  if (loop_ != nullptr) loop_->quit();
}

}  // namespace corvanth
