// The message catalog: cache, missing numbers, the 255-byte cut, the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "app/message_catalog.h"

namespace corvanth {
namespace {

constexpr Language kLanguages[] = {Language::korean, Language::japanese,
                                   Language::traditionalChinese, Language::simplifiedChinese,
                                   Language::usEnglish};

TEST(MessageCatalog, CachedTextKeepsItsAddress) {
  MessageCatalog catalog(Language::korean);
  const char* first = catalog.message(21);
  EXPECT_STREQ(first, "패치 작업 완료");
  catalog.message(22);
  catalog.message(23);
  EXPECT_EQ(catalog.message(21), first);
  EXPECT_EQ(catalog.cachedCount(), 3u);
}

TEST(MessageCatalog, NumberWithoutTextIsNoMsgAndNotCached) {
  for (Language language : kLanguages) {
    MessageCatalog catalog(language);
    for (int number : {11, 5, 35, 0, -1}) {
      EXPECT_STREQ(catalog.message(number), "No MSG") << number;
      EXPECT_STREQ(catalog.message(number), "No MSG") << number;
    }
    EXPECT_EQ(catalog.cachedCount(), 0u);
  }
}

TEST(MessageCatalog, CutAt255BytesNeverInsideAUtf8Sequence) {
  const std::string hangul = "한";  // three bytes
  struct Case {
    std::string text;
    size_t kept;
  };
  const Case cases[] = {
      {std::string(255, 'a'), 255},                // exactly 255: whole
      {std::string(256, 'a'), 255},                // one more: cut
      {std::string(252, 'a') + hangul, 255},       // ends on a whole sequence
      {std::string(253, 'a') + hangul, 253},       // would end inside it
      {std::string(254, 'a') + hangul + "b", 254},
      {"", 0},
  };
  for (const Case& c : cases) {
    char buffer[MessageCatalog::kBufferSize];
    size_t n = copyMessageText(c.text, buffer, sizeof buffer);
    EXPECT_EQ(n, c.kept) << c.text.size();
    EXPECT_EQ(std::string(buffer), c.text.substr(0, c.kept));
  }
}

// Counts "%s" and every other conversion a format would perform.
void countConversions(const std::string& text, int* strings, int* others) {
  *strings = *others = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (text[i + 1] == 's') {
      ++*strings;
    } else if (text[i + 1] != ' ') {
      ++*others;
    }
    ++i;
  }
}

TEST(MessageTables, EveryLanguageHasNumbers6To34Except11WithKoreanArguments) {
  const int kFormats[] = {10, 23, 24, 25, 26, 27, 29, 30};  // one file name each
  for (Language language : kLanguages) {
    for (int number = 6; number <= 34; ++number) {
      char buffer[MessageCatalog::kBufferSize];
      char korean[MessageCatalog::kBufferSize];
      size_t n = loadMessageString(language, number, buffer, sizeof buffer);
      loadMessageString(Language::korean, number, korean, sizeof korean);
      if (number == 11) {
        EXPECT_EQ(n, 0u);
        continue;
      }
      ASSERT_GT(n, 0u) << static_cast<int>(language) << " " << number;
      EXPECT_LT(n, 255u) << "text would be cut: " << number;
      int strings = 0, others = 0, koreanStrings = 0, koreanOthers = 0;
      countConversions(buffer, &strings, &others);
      countConversions(korean, &koreanStrings, &koreanOthers);
      EXPECT_EQ(strings, koreanStrings) << static_cast<int>(language) << " " << number;
      bool isFormat = std::find(std::begin(kFormats), std::end(kFormats), number) !=
                      std::end(kFormats);
      EXPECT_EQ(strings, isFormat ? 1 : 0) << number;
      if (isFormat) {
        EXPECT_EQ(others, 0) << number;
      }
    }
  }
}

TEST(MessageTables, Number34OutsideKoreanAndEnglishReadsAsGiven) {
  for (Language language :
       {Language::japanese, Language::traditionalChinese, Language::simplifiedChinese}) {
    MessageCatalog catalog(language);
    EXPECT_STREQ(catalog.message(34),
                 "Over 20% of free space found in data file. Do you want to repack resouce "
                 "files..?");
  }
  EXPECT_STREQ(MessageCatalog(Language::korean).message(34),
               "20% 이상 공간이 낭비되고 있습니다. 팩을 새로 만드시겠습니까..?");
}

TEST(Language, FromLocaleName) {
  struct Case {
    const char* locale;
    Language language;
  };
  const Case cases[] = {
      {"ko_KR.UTF-8", Language::korean},          {"ja_JP.UTF-8", Language::japanese},
      {"zh_TW.UTF-8", Language::traditionalChinese}, {"zh_HK", Language::traditionalChinese},
      {"zh_CN.UTF-8", Language::simplifiedChinese}, {"zh_SG", Language::simplifiedChinese},
      {"en_US.UTF-8", Language::usEnglish},       {"C", Language::usEnglish},
      {"de_DE", Language::usEnglish},
  };
  for (const Case& c : cases) EXPECT_EQ(languageFromLocaleName(c.locale), c.language) << c.locale;
}

}  // namespace
}  // namespace corvanth
