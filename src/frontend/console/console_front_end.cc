// ConsoleFrontEnd: status lines, the live bar, boxes as printed lines.
#include "frontend/console/console_front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/dialog_control.h"
#include "app/patch_client.h"

namespace corvanth {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kRedrawInterval(33);        // at most 30 redraws a second
constexpr milliseconds kTransferLineInterval(1000);  // thinning off a terminal
constexpr int kBarCells = 20;

// True when text is a transfer line "name - received/expected"; name gets
// the part before the counts, received the first count.
bool parseTransfer(const std::string& text, std::string* name, long* received) {
  size_t dash = text.rfind(" - ");
  if (dash == std::string::npos) return false;
  size_t i = dash + 3;
  auto number = [&] {
    size_t start = i;
    if (i < text.size() && text[i] == '-') ++i;
    size_t digits = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i > digits ? std::strtol(text.c_str() + start, nullptr, 10) : -1L;
  };
  long first = number();
  if (i == dash + 3 || i >= text.size() || text[i] != '/') return false;
  ++i;
  size_t second = i;
  number();
  if (i == second || i != text.size()) return false;
  *name = text.substr(0, dash);
  *received = first;
  return true;
}

// True when next is a later line of the transfer that current shows: the
// same name and no fewer bytes (a new transfer of the name starts lower).
bool continuesTransfer(const std::string& current, const std::string& next) {
  std::string currentName, nextName;
  long currentReceived = 0, nextReceived = 0;
  return parseTransfer(current, &currentName, &currentReceived) &&
         parseTransfer(next, &nextName, &nextReceived) && currentName == nextName &&
         nextReceived >= currentReceived;
}

// Columns a code point takes on a terminal: two for the wide East Asian
// ranges, one otherwise.
int columnsOf(uint32_t c) {
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD)) {
    return 2;
  }
  return 1;
}

// The longest prefix of UTF-8 text that fits in columns, without a line end.
std::string cutToColumns(const std::string& text, int columns) {
  size_t i = 0;
  int used = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead == '\n' || lead == '\r') break;
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (i + length > text.size()) break;
    uint32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) c = (c << 6) | (text[i + k] & 0x3F);
    int width = columnsOf(c);
    if (used + width > columns) break;
    used += width;
    i += length;
  }
  return text.substr(0, i);
}

// Notice files come with the desktop platform's line ends.
std::string plainLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* out, std::FILE* in, bool live, int terminalWidth)
    : out_(out), in_(in), live_(live), width_(terminalWidth > 20 ? terminalWidth : 80) {}

bool ConsoleFrontEnd::isLiveTerminal(std::FILE* out, int* width) {
  *width = 80;
  if (!::isatty(::fileno(out))) return false;
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) return false;
  struct winsize size;
  if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) *width = size.ws_col;
  return true;
}

bool ConsoleFrontEnd::isYes(const std::string& line) {
  size_t begin = line.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return false;
  size_t end = line.find_last_not_of(" \t\r\n");
  std::string word = line.substr(begin, end - begin + 1);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "y" || word == "yes";
}

int ConsoleFrontEnd::runModal(PatchClient* client) {
  client->handleDialogMessage(this, kMessageInitDialog, 0, 0);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ended_ && client->workerRunning()) {
      changed_.wait_for(lock, kRedrawInterval);
      auto now = Clock::now();
      if (!live_ && !statusPrinted_ && now - lastTransferLine_ >= kTransferLineInterval) {
        printPendingStatus();
        lastTransferLine_ = now;
      }
      if (live_ && liveDirty_) drawLive();
      std::fflush(out_);
    }
    if (ended_) {
      printPendingStatus();
      std::fflush(out_);
      return result_;
    }
    // The worker has ended: the last status becomes a permanent line.
    printPendingStatus();
    eraseLive();
    std::fflush(out_);
  }
  // Only the dialog's thread runs from here on, so it may use the catalog.
  bool start = client->patchingDone() && ask(std::string(client->message(22)) + "?");
  client->handleDialogMessage(this, kMessageCommand, start ? kStartButton : kCloseButton, 0);
  flush();
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

void ConsoleFrontEnd::setControlText(int control, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (control) {
    case kStatusLine:
      setStatus(text);
      break;
    case kNoticeTitle:
      heading_ = text;
      if (!live_) printPendingStatus();
      printLine("== " + text + " ==");
      if (live_ && !status_.empty()) drawLive();
      break;
    case kNoticeBox:
      if (!live_) printPendingStatus();
      if (!heading_.empty()) printLine("== " + heading_ + " ==");
      printLine(plainLines(text));
      if (live_ && !status_.empty()) drawLive();
      break;
    default:
      break;  // button captions and the hidden labels are not printed
  }
  std::fflush(out_);
}

void ConsoleFrontEnd::setStatus(const std::string& text) {
  if (text == status_) return;
  auto now = Clock::now();
  if (continuesTransfer(status_, text)) {
    // A later line of the same transfer: may be thinned out.
    status_ = text;
    statusPrinted_ = false;
    if (live_) {
      liveDirty_ = true;
      if (now - lastDraw_ >= kRedrawInterval) drawLive();
    } else if (now - lastTransferLine_ >= kTransferLineInterval) {
      printPendingStatus();
      lastTransferLine_ = now;
    }
    return;
  }
  printPendingStatus();
  status_ = text;
  statusPrinted_ = false;
  if (live_) {
    drawLive();
  } else {
    printPendingStatus();
    lastTransferLine_ = now;
  }
}

void ConsoleFrontEnd::setProgressPosition(int control, int position) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control != kProgressBar) return;
  position_ = position;
  barChanged();
}

void ConsoleFrontEnd::setProgressRange(int control, int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control != kProgressBar) return;
  range_ = maximum;
  barChanged();
}

void ConsoleFrontEnd::barChanged() {
  if (!live_) return;
  liveDirty_ = true;
  if (Clock::now() - lastDraw_ >= kRedrawInterval) drawLive();
}

void ConsoleFrontEnd::focusControl(int) {}

BoxAnswer ConsoleFrontEnd::messageBox(const std::string& text, const std::string& caption,
                                      BoxButtons buttons) {
  std::string line = caption.empty() ? text : caption + ": " + text;
  if (buttons == BoxButtons::ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!live_) printPendingStatus();
    printLine(line);
    if (live_ && !status_.empty()) drawLive();
    std::fflush(out_);
    return BoxAnswer::ok;
  }
  bool yes = ask(line);
  std::lock_guard<std::mutex> lock(mutex_);
  if (live_ && !status_.empty()) drawLive();
  std::fflush(out_);
  return yes ? BoxAnswer::yes : BoxAnswer::no;
}

bool ConsoleFrontEnd::ask(const std::string& question) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!live_) printPendingStatus();
    eraseLive();
    std::fputs((question + " [y/N] ").c_str(), out_);
    std::fflush(out_);
  }
  std::string answer;
  bool got = readLine(&answer);
  std::lock_guard<std::mutex> lock(mutex_);
  // An answer typed on a terminal ends the prompt's line itself.
  if (!got || !::isatty(::fileno(in_))) std::fputc('\n', out_);
  std::fflush(out_);
  return got && isYes(answer);
}

bool ConsoleFrontEnd::readLine(std::string* line) {
  line->clear();
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, in_) != nullptr) {
    line->append(buffer);
    if (!line->empty() && line->back() == '\n') return true;
  }
  return !line->empty();
}

void ConsoleFrontEnd::endDialog(int result) {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  result_ = result;
  changed_.notify_all();
}

void ConsoleFrontEnd::flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (live_) {
    if (liveDirty_) drawLive();
  } else {
    printPendingStatus();
  }
  std::fflush(out_);
}

void ConsoleFrontEnd::printPendingStatus() {
  if (statusPrinted_) return;
  statusPrinted_ = true;
  printLine(status_);
}

void ConsoleFrontEnd::eraseLive() {
  if (!liveShown_) return;
  std::fputs("\r\033[K", out_);
  liveShown_ = false;
}

void ConsoleFrontEnd::drawLive() {
  int filled = 0;
  int percent = 0;
  if (range_ > 0) {
    int position = position_ < 0 ? 0 : position_ > range_ ? range_ : position_;
    filled = static_cast<int>(static_cast<int64_t>(position) * kBarCells / range_);
    percent = static_cast<int>(static_cast<int64_t>(position) * 100 / range_);
  }
  char bar[kBarCells + 16];
  std::snprintf(bar, sizeof bar, "[%s%s] %3d%% ",
                std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kBarCells - filled), ' ').c_str(), percent);
  int room = width_ - 1 - static_cast<int>(std::strlen(bar));
  std::string line = std::string("\r\033[K") + bar + cutToColumns(status_, room);
  std::fputs(line.c_str(), out_);
  liveShown_ = true;
  liveDirty_ = false;
  lastDraw_ = Clock::now();
}

void ConsoleFrontEnd::printLine(const std::string& text) {
  eraseLive();
  std::fputs(text.c_str(), out_);
  std::fputc('\n', out_);
}

}  // namespace corvanth
