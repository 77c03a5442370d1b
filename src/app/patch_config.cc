// The built-in settings and their defaults.
#include "app/patch_config.h"

#include <cstring>

#ifndef CORVANTH_WEB_HOST
#define CORVANTH_WEB_HOST "127.0.0.1:18080"
#endif
#ifndef CORVANTH_FTP_HOST
#define CORVANTH_FTP_HOST "127.0.0.1:18021"
#endif

namespace corvanth {

void PatchConfig::assign(char (&field)[kFieldSize], const char* value) {
  std::strncpy(field, value, kFieldSize - 1);
  field[kFieldSize - 1] = '\0';
}

void PatchConfig::loadDefaults() {
  assign(versionFile, "spatch.inf");
  assign(archiveFile, "sdata.vdt");
  assign(gameCommandLine, "qelexe.exe 1kor1");
  assign(webHost, CORVANTH_WEB_HOST);
  assign(webDirectory, "/patch");
  assign(ftpHost, CORVANTH_FTP_HOST);
  assign(ftpDirectory, "/pub/corvanth/QelPatch");
  assign(gateFile, "patch_allow.txt");
  assign(closedNoticeFile, "notice_close.txt");
  assign(patchNoticeFile, "notice_patch.txt");
  assign(patchListFile, "patch2.txt");
  assign(executeListFile, "patch_excute.txt");
}

}  // namespace corvanth
