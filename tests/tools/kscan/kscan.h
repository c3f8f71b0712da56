// kscan's command table. A command file defines its function and registers it with
//   static KscanCommand reg("name", "usage line", &Run);
// Commands print JSON lines on stdout and return the process exit code.
#pragma once

#include <string>
#include <vector>

using KscanFn = int (*)(const std::vector<std::string>& args);

struct KscanCommand {
  KscanCommand(const char* name, const char* usage, KscanFn fn);
};

// Scripted answers for the questions the engine asks (message boxes): "yes" or "no" to every
// question. Set by the global --answer option before the command runs.
bool KscanAnswerYes();

// Loads kscan's built-in settings for an edition version ("Pro" by default; "VuzuDazuv" is the
// disk-image edition).
void KscanLoadSettings(const char16_t* version);

// The text with '"', '\\' and control characters escaped for a JSON string.
std::string KscanJsonText(const std::string& s);
