# Writes OUTPUT: one C++ character array per message table, so the tables
# are part of the binary (the client reads no files of its own at run time).
# Called with -DSOURCE_DIR=... -DOUTPUT=...
set(tables
  "kMessagesKorean:ko.txt"
  "kMessagesJapanese:ja.txt"
  "kMessagesTraditionalChinese:zh-Hant.txt"
  "kMessagesSimplifiedChinese:zh-Hans.txt"
  "kMessagesEnglish:en-US.txt")
set(text "// Generated from resources/messages; do not edit.\nnamespace corvanth {\n")
foreach(table IN LISTS tables)
  string(REPLACE ":" ";" parts "${table}")
  list(GET parts 0 symbol)
  list(GET parts 1 file)
  file(READ "${SOURCE_DIR}/${file}" content)
  string(APPEND text "extern const char ${symbol}[];\nconst char ${symbol}[] = R\"msgtable(${content})msgtable\";\n")
endforeach()
string(APPEND text "}  // namespace corvanth\n")
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
