// kscan: a headless driver of the engine for tests. "kscan COMMAND ARGS..."; "kscan" alone
// lists the commands.
#include <cstdio>
#include <map>
#include <string>

#include "app/settings.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/sectorsignature.h"
#include "platform/hooks.h"
#include "tests/tools/kscan/kscan.h"

namespace {

struct Entry {
  std::string usage;
  KscanFn fn;
};
std::map<std::string, Entry>& Commands() {
  static auto& m = *new std::map<std::string, Entry>;
  return m;
}

bool g_answerYes = false;

bool ScriptedMessageBox(const CString& text, const CString&, const CString&) {
  fprintf(stderr, "kscan: question answered %s: %s\n", g_answerYes ? "yes" : "no", text.ToUtf8().c_str());
  return g_answerYes;
}

}  // namespace

void KscanLoadSettings(const char16_t* version) {
  // Engine texts come from a small built-in table, so kscan runs without the program folder.
  LoadSettingsForTest(u"Tesmur", version, u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                      u"FileLost: FileLost\r\nRecycleBin: RecycleBin\r\nFindFile: FindFile\r\n"
                      u"EmptyFile: EmptyFile\r\nReadDataFailed: ReadDataFailed\r\n"
                      u"ZipDetail: Ratio   Modified           Name\r\n");
}

KscanCommand::KscanCommand(const char* name, const char* usage, KscanFn fn) { Commands()[name] = Entry{usage, fn}; }

bool KscanAnswerYes() { return g_answerYes; }

std::string KscanJsonText(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += char(c);
    }
  }
  return o;
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  while (!args.empty() && args[0].rfind("--answer=", 0) == 0) {
    g_answerYes = args[0] == "--answer=yes";
    args.erase(args.begin());
  }
  if (args.empty() || !Commands().count(args[0])) {
    fprintf(stderr, "usage: kscan [--answer=yes|no] COMMAND ARGS...\n");
    for (const auto& [name, e] : Commands()) fprintf(stderr, "  %s\n", e.usage.c_str());
    return 2;
  }
  SetMessageBoxHandler(&ScriptedMessageBox);
  KscanLoadSettings(u"Pro");
  InitSectorSignatureMatcher();
  // Carved documents are named after their properties; previews show their texts.
  InstallDocumentTextReaders();
  const Entry& e = Commands()[args[0]];
  return e.fn(std::vector<std::string>(args.begin() + 1, args.end()));
}
