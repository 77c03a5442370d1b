// The message catalog: lookup in the embedded tables, cut, cache.
#include "app/message_catalog.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace corvanth {

// Generated from resources/messages/*.txt at build time.
extern const char kMessagesKorean[];
extern const char kMessagesJapanese[];
extern const char kMessagesTraditionalChinese[];
extern const char kMessagesSimplifiedChinese[];
extern const char kMessagesEnglish[];

namespace {

const char* tableOf(Language language) {
  switch (language) {
    case Language::korean: return kMessagesKorean;
    case Language::japanese: return kMessagesJapanese;
    case Language::traditionalChinese: return kMessagesTraditionalChinese;
    case Language::simplifiedChinese: return kMessagesSimplifiedChinese;
    case Language::usEnglish: break;
  }
  return kMessagesEnglish;
}

// Finds "number<TAB>text" in a table and returns the text (without its line end).
std::string_view findText(const char* table, int number) {
  std::string_view rest(table);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    if (std::atoi(std::string(line.substr(0, tab)).c_str()) == number) {
      return line.substr(tab + 1);
    }
  }
  return std::string_view();
}

}  // namespace

Language languageFromLocaleName(const std::string& locale) {
  auto startsWith = [&](const char* prefix) { return locale.rfind(prefix, 0) == 0; };
  if (startsWith("ko")) return Language::korean;
  if (startsWith("ja")) return Language::japanese;
  if (startsWith("zh_TW") || startsWith("zh_HK")) return Language::traditionalChinese;
  if (startsWith("zh")) return Language::simplifiedChinese;
  return Language::usEnglish;
}

Language languageFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return languageFromLocaleName(value);
  }
  return Language::usEnglish;
}

size_t loadMessageString(Language language, int number, char* buffer, size_t size) {
  return copyMessageText(findText(tableOf(language), number), buffer, size);
}

size_t copyMessageText(std::string_view text, char* buffer, size_t size) {
  if (size == 0) return 0;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // Never end inside a UTF-8 sequence: back off over continuation bytes.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

const char* MessageCatalog::message(int number) {
  auto found = cache_.find(number);
  if (found != cache_.end()) return found->second.c_str();
  char buffer[kBufferSize];
  if (loadMessageString(language_, number, buffer, sizeof buffer) == 0) return "No MSG";
  return cache_.emplace(number, std::string(buffer)).first->second.c_str();
}

}  // namespace corvanth
