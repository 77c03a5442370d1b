// The twelve built-in settings. Nothing configures them at run time.
#ifndef CORVANTH_APP_PATCH_CONFIG_H_
#define CORVANTH_APP_PATCH_CONFIG_H_

namespace corvanth {

struct PatchConfig {
  static constexpr int kFieldSize = 64;  // zero-terminated 8-bit text

  // Writable storage: the game command line is handed to process creation,
  // which may write into its buffer.
  char versionFile[kFieldSize];
  char archiveFile[kFieldSize];
  char gameCommandLine[kFieldSize];
  char webHost[kFieldSize];       // "host" or "host:port"
  char webDirectory[kFieldSize];  // begins with '/', no trailing '/'
  char ftpHost[kFieldSize];       // "host" or "host:port"; FTP defaults to 21
  char ftpDirectory[kFieldSize];
  char gateFile[kFieldSize];
  char closedNoticeFile[kFieldSize];
  char patchNoticeFile[kFieldSize];
  char patchListFile[kFieldSize];
  char executeListFile[kFieldSize];  // read by nothing

  // Points every field at its built-in default.
  void loadDefaults();
  // Sets one field, cut to fit; for tests that point the client elsewhere.
  static void assign(char (&field)[kFieldSize], const char* value);
};

}  // namespace corvanth

#endif  // CORVANTH_APP_PATCH_CONFIG_H_
