// The clipboard under the x11 backend is the display's: another X program (xclip) pastes what
// the program copied, from CLIPBOARD and PRIMARY, in UTF-8 and Latin-1, and the program pastes
// what xclip copied, also a text large enough to come in increments. Skipped without Xvfb or
// xclip.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/wnd/tests/x11/x11_test_util.h"

namespace {

// Runs the tool with `input` (a file, or /dev/null) as its standard input; its exit status
// and standard output.
int RunTool(const std::vector<std::string>& argv, std::string* out, const std::string& input = "/dev/null",
            bool wait = true, pid_t* child = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const std::string prog = x11test::FindProgram(argv[0].c_str());
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(input.c_str(), O_RDONLY);
    dup2(in, 0);
    dup2(fds[1], 1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(fds[0]);
    std::vector<char*> args;
    args.push_back(const_cast<char*>(prog.c_str()));
    for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  if (!wait) {
    close(fds[0]);
    *child = pid;
    return 0;
  }
  char buf[65536];
  ssize_t n = 0;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) {
    if (out) out->append(buf, size_t(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class X11Clipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    if (x11test::FindProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(SelectBackend("x11"));
  }
  void TearDown() override {
    x11test::StopProcess(xclip_);
    SelectBackend("headless");
  }
  std::string Paste(const char* selection, const char* target = "UTF8_STRING") {
    std::string out;
    EXPECT_EQ(RunTool({"xclip", "-o", "-selection", selection, "-target", target}, &out), 0) << selection << target;
    return out;
  }
  // xclip offers the text as the clipboard until it loses it (or is stopped).
  void OfferFromXclip(const std::string& text) {
    x11test::StopProcess(xclip_);
    Display* d = server_.dpy();
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Window before = XGetSelectionOwner(d, clipboard);
    const std::string file = ::testing::TempDir() + "x11clip_input_" + std::to_string(getpid()) + ".txt";
    std::ofstream(file, std::ios::binary) << text;
    RunTool({"xclip", "-quiet", "-i", "-selection", "clipboard"}, nullptr, file, false, &xclip_);
    ASSERT_TRUE(x11test::PumpUntil([&] {
      const Window now = XGetSelectionOwner(d, clipboard);
      return now != 0 && now != before;
    }));
  }
  x11test::XServer server_;
  pid_t xclip_ = -1;
};

TEST_F(X11Clipboard, AnotherProgramPastesWhatTheProgramCopied) {
  ASSERT_TRUE(SetClipboardText(u"Kestrel Ä 序列号 K-1"));
  EXPECT_EQ(Paste("clipboard"), "Kestrel Ä 序列号 K-1");
  EXPECT_EQ(Paste("primary"), "Kestrel Ä 序列号 K-1");
  EXPECT_EQ(Paste("clipboard", "STRING"), "Kestrel \xC4 ??? K-1");  // Latin-1, the rest unknown
  const std::string targets = Paste("clipboard", "TARGETS");
  EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
  // An empty text is still a text; an emptied clipboard offers nothing.
  ASSERT_TRUE(SetClipboardText(u""));
  EXPECT_EQ(Paste("clipboard"), "");
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(EmptyClipboard());
  ASSERT_TRUE(CloseClipboard());
  std::string out;
  EXPECT_NE(RunTool({"xclip", "-o", "-selection", "clipboard"}, &out), 0);
}

TEST_F(X11Clipboard, TheProgramPastesWhatAnotherProgramCopied) {
  ASSERT_TRUE(SetClipboardText(u"ours"));
  OfferFromXclip("von nebenan: Grüße\r\nline 2");
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  CString text;
  ASSERT_TRUE(GetClipboardText(&text));
  EXPECT_EQ(text, CString(u"von nebenan: Grüße\r\nline 2"));
  // Copying again takes the clipboard back (xclip ends once it lost it).
  ASSERT_TRUE(SetClipboardText(u"ours again"));
  ASSERT_TRUE(GetClipboardText(&text));
  EXPECT_EQ(text, CString(u"ours again"));
  EXPECT_EQ(Paste("clipboard"), "ours again");

  // A text of a megabyte and more comes in increments.
  std::string big;
  for (int i = 0; big.size() < (1u << 20) + 777; ++i) big += "row " + std::to_string(i) + " äöü\n";
  OfferFromXclip(big);
  ASSERT_TRUE(GetClipboardText(&text));
  EXPECT_EQ(text.ToUtf8().size(), big.size());
  EXPECT_TRUE(text.ToUtf8() == big);
}

}  // namespace
