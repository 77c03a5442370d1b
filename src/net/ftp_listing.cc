// Parsers for the LIST and MLSD answers of FTP servers.
#include "net/ftp_listing.h"

#include <array>
#include <cctype>
#include <vector>

namespace corvanth {

namespace {

struct Token {
  size_t begin;
  size_t end;
};

std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    size_t begin = i;
    while (i < line.size() && line[i] != ' ') ++i;
    tokens.push_back({begin, i});
  }
  return tokens;
}

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Decimal digits, saturating rather than wrapping on absurd values.
uint64_t toNumber(std::string_view digits) {
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') continue;
    if (value > (UINT64_MAX - 9) / 10) return UINT64_MAX;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

bool isMonth(std::string_view text) {
  static const std::array<const char*, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (text.size() != 3) return false;
  for (const char* month : kMonths) {
    bool same = true;
    for (size_t i = 0; i < 3; ++i) {
      same = same && std::tolower(static_cast<unsigned char>(text[i])) == month[i];
    }
    if (same) return true;
  }
  return false;
}

// "12:45" or "9:05".
bool isClock(std::string_view text) {
  size_t colon = text.find(':');
  return colon != std::string_view::npos && colon >= 1 && colon <= 2 &&
         allDigits(text.substr(0, colon)) && text.size() - colon - 1 == 2 &&
         allDigits(text.substr(colon + 1));
}

bool isYear(std::string_view text) { return text.size() == 4 && allDigits(text); }

// "2020-01-15"
bool isIsoDate(std::string_view text) {
  return text.size() == 10 && text[4] == '-' && text[7] == '-' && allDigits(text.substr(0, 4)) &&
         allDigits(text.substr(5, 2)) && allDigits(text.substr(8, 2));
}

// "01-15-20", "01-15-2020", "01/15/20".
bool isDosDate(std::string_view text) {
  if (text.size() != 8 && text.size() != 10) return false;
  char separator = text[2];
  if ((separator != '-' && separator != '/') || text[5] != separator) return false;
  return allDigits(text.substr(0, 2)) && allDigits(text.substr(3, 2)) &&
         allDigits(text.substr(6));
}

// "03:45PM", "03:45AM", "15:45".
bool isDosTime(std::string_view text) {
  if (text.size() > 2) {
    std::string_view tail = text.substr(text.size() - 2);
    if (tail == "AM" || tail == "PM" || tail == "am" || tail == "pm") {
      text.remove_suffix(2);
    }
  }
  return isClock(text);
}

bool isDotEntry(std::string_view name) { return name == "." || name == ".."; }

bool finish(std::string_view name, uint64_t size, FtpListEntry* entry) {
  if (name.empty() || isDotEntry(name)) return false;
  entry->name.assign(name.data(), name.size());
  entry->size = size;
  return true;
}

bool parseDosLine(std::string_view line, const std::vector<Token>& tokens, FtpListEntry* entry) {
  auto text = [&](size_t i) { return line.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  if (tokens.size() < 4 || !isDosDate(text(0)) || !isDosTime(text(1))) return false;
  std::string_view third = text(2);
  size_t nameStart = tokens[2].end;
  uint64_t size = 0;
  if (third == "<DIR>") {
    // The name follows a column of blanks.
    nameStart = tokens[3].begin;
  } else {
    std::string_view digits = third;
    for (char c : digits) {
      if ((c < '0' || c > '9') && c != ',') return false;
    }
    size = toNumber(digits);
    ++nameStart;  // one blank between the size and the name
  }
  return finish(line.substr(nameStart), size, entry);
}

bool parseUnixLine(std::string_view line, const std::vector<Token>& tokens, FtpListEntry* entry) {
  auto text = [&](size_t i) { return line.substr(tokens[i].begin, tokens[i].end - tokens[i].begin); };
  std::string_view mode = text(0);
  if (mode.size() < 10 || std::string_view("-dlbcpsDn").find(mode[0]) == std::string_view::npos) {
    return false;
  }
  // The size is the number in front of the date, which is "Mon DD HH:MM",
  // "Mon DD YYYY" or "YYYY-MM-DD HH:MM"; owner and group vary between servers.
  for (size_t i = 2; i < tokens.size(); ++i) {
    if (!allDigits(text(i - 1))) continue;
    size_t last = 0;
    if (i + 2 < tokens.size() && isMonth(text(i)) && text(i + 1).size() <= 2 &&
        allDigits(text(i + 1)) && (isClock(text(i + 2)) || isYear(text(i + 2)))) {
      last = i + 2;
    } else if (i + 1 < tokens.size() && isIsoDate(text(i)) && isClock(text(i + 1))) {
      last = i + 1;
    } else {
      continue;
    }
    std::string_view name = line.substr(tokens[last].end);
    if (name.empty() || name[0] != ' ') return false;
    name.remove_prefix(1);
    if (mode[0] == 'l') {
      size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    }
    return finish(name, toNumber(text(i - 1)), entry);
  }
  return false;
}

}  // namespace

bool parseListLine(std::string_view line, FtpListEntry* entry) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::vector<Token> tokens = tokenize(line);
  if (tokens.empty()) return false;
  if (isDosDate(line.substr(tokens[0].begin, tokens[0].end - tokens[0].begin))) {
    return parseDosLine(line, tokens, entry);
  }
  return parseUnixLine(line, tokens, entry);
}

bool parseMlsdLine(std::string_view line, FtpListEntry* entry) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  // "fact=value;fact=value; name": the facts hold no blank, the name may.
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  std::string_view facts = line.substr(0, blank);
  std::string_view name = line.substr(blank + 1);
  uint64_t size = 0;
  bool haveSize = false;
  while (!facts.empty()) {
    size_t end = facts.find(';');
    std::string_view fact = facts.substr(0, end);
    facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
    size_t equals = fact.find('=');
    if (equals == std::string_view::npos) continue;
    std::string key(fact.substr(0, equals));
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string_view value = fact.substr(equals + 1);
    if (key == "type") {
      std::string type(value);
      for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (type == "cdir" || type == "pdir") return false;
    } else if (key == "size" || (key == "sizd" && !haveSize)) {
      size = toNumber(value);
      haveSize = key == "size";
    }
  }
  return finish(name, size, entry);
}

void addListing(std::string_view text, bool mlsd, ServerListing* listing) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    FtpListEntry entry;
    bool parsed = mlsd ? parseMlsdLine(line, &entry) : parseListLine(line, &entry);
    if (parsed) listing->setSize(entry.name, static_cast<int32_t>(static_cast<uint32_t>(entry.size)));
  }
}

}  // namespace corvanth
