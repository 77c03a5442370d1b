// The user-visible texts of the client, by number, in the user's language.
#ifndef CORVANTH_APP_MESSAGE_CATALOG_H_
#define CORVANTH_APP_MESSAGE_CATALOG_H_

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace corvanth {

enum class Language { korean, japanese, traditionalChinese, simplifiedChinese, usEnglish };

// LC_ALL, else LC_MESSAGES, else LANG: ko* Korean, ja* Japanese, zh_TW and
// zh_HK Traditional Chinese, other zh* Simplified Chinese, else US English.
Language languageFromEnvironment();
Language languageFromLocaleName(const std::string& locale);

// Copies the text of number in language into buffer (at most size - 1
// bytes, never cutting a UTF-8 sequence, zero-terminated) and returns the
// number of bytes copied; 0 when the table has no text for it.
size_t loadMessageString(Language language, int number, char* buffer, size_t size);
// The cut of loadMessageString: copies text into buffer, at most size - 1
// bytes, backing off to the start of a UTF-8 sequence that would not fit.
size_t copyMessageText(std::string_view text, char* buffer, size_t size);

class MessageCatalog {
 public:
  static constexpr size_t kBufferSize = 256;  // texts are cut at 255 bytes

  explicit MessageCatalog(Language language) : language_(language) {}

  // The text of number, never null: "No MSG" when the table has none (not
  // cached, so a later call asks the table again). A cached text keeps its
  // address for the catalog's life.
  const char* message(int number);

  Language language() const { return language_; }
  size_t cachedCount() const { return cache_.size(); }

 private:
  Language language_;
  std::map<int, std::string> cache_;  // entries are never changed or removed
};

}  // namespace corvanth

#endif  // CORVANTH_APP_MESSAGE_CATALOG_H_
