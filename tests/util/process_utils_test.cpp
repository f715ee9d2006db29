#include "util/process_utils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/files.h"
#include "support/test_support.h"
#include "util_test_helpers.h"

namespace vx {
namespace {

// A program that ends at once, and its arguments, on each system.
#ifdef _WIN32
const std::string kProgram = "C:\\windows\\system32\\cmd.exe";
const std::string kExitParams = "/c exit 0";
const std::string kWriteDirParams = "/c cd > where.txt";
#else
const std::string kProgram = "/bin/sh";
const std::string kExitParams = "-c \"exit 0\"";
const std::string kWriteDirParams = "-c \"pwd > where.txt\"";
#endif
constexpr uint16_t kShowMinimizedNoActivate = 7;

// Polls as the diagnostics window does, until the program ends or time is up.
bool WaitUntilFinished(ProcessInfo& info) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ProgramFinished(info)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(ProgramFinished, AnEmptyRecordHasFinished) {
  ProcessInfo info;
  EXPECT_TRUE(ProgramFinished(info));
  EXPECT_TRUE(ProgramFinished(info));
  EXPECT_EQ(info.process_handle, 0);
}

TEST(StartProgram, StartsMinimisedAndIsPolledToItsEnd) {
  if (!platform::FileExists(kProgram)) VX_SKIP_OR_FAIL(kProgram + " is not on this system");
  test::CapturedMessages messages;
  ProcessInfo info;
  ASSERT_TRUE(StartProgram("VX test", kProgram, kExitParams, "", kShowMinimizedNoActivate, info,
                           messages.service));
  EXPECT_NE(info.process_handle, 0);
  EXPECT_NE(info.process_id, 0u);
  ASSERT_TRUE(WaitUntilFinished(info));
  EXPECT_EQ(info.process_handle, 0);
  EXPECT_EQ(info.thread_handle, 0);
  EXPECT_EQ(info.process_id, 0u);
  EXPECT_EQ(info.thread_id, 0u);
  EXPECT_TRUE(ProgramFinished(info));  // still finished, nothing left to close
  EXPECT_TRUE(messages.texts.empty());
}

TEST(StartProgram, RunsInTheGivenWorkingDirectory) {
  if (!platform::FileExists(kProgram)) VX_SKIP_OR_FAIL(kProgram + " is not on this system");
  test::ScratchDir scratch;
  test::CapturedMessages messages;
  ProcessInfo info;
  ASSERT_TRUE(StartProgram("", kProgram, kWriteDirParams, scratch.Path(), kShowMinimizedNoActivate,
                           info, messages.service));
  ASSERT_TRUE(WaitUntilFinished(info));
  EXPECT_TRUE(platform::FileExists(scratch.File("where.txt")));
}

TEST(StartProgram, AFailedStartShowsTheSystemTextAndReturnsFalse) {
  test::ScratchDir scratch;
  test::CapturedMessages messages;
  ProcessInfo info;
  info.process_id = 77;  // left over from an earlier run: must not survive
  EXPECT_FALSE(StartProgram("VX test", scratch.File("no such program.exe"), "x", "",
                            kShowMinimizedNoActivate, info, messages.service));
  EXPECT_EQ(info.process_handle, 0);
  EXPECT_EQ(info.process_id, 0u);
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], SystemErrorText(platform::kErrorFileNotFound));
}

TEST(LastErrorText, TheTextOfTheLastFailure) {
  test::ScratchDir scratch;
  platform::ProcessStart start;
  start.command_line = scratch.File("absent.exe");
  ProcessInfo info;
  uint32_t error = 0;
  const bool started = platform::StartProcess(start, info, error);
  const std::string text = LastErrorText();  // before any other call can change it
  ASSERT_FALSE(started);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(text, SystemErrorText(platform::kErrorFileNotFound));
}

TEST(SystemErrorText, ZeroKnownAndUnknownCodes) {
  EXPECT_EQ(SystemErrorText(0), "errcode=0");
  const std::string not_found = SystemErrorText(platform::kErrorFileNotFound);
  // Windows says "The system cannot find the file specified.", Wine "File not found.".
  EXPECT_NE(not_found, "format message error");
  ASSERT_GT(not_found.size(), 2u);
  EXPECT_EQ(not_found.substr(not_found.size() - 2), "\r\n");  // as the system gives it
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "format message error");
}

#ifdef _WIN32
TEST(SystemErrorText, AMessageWithInsertsKeepsThemAsTheyStand) {
  // ERROR_BAD_EXE_FORMAT: "%1 is not a valid Win32 application." There is
  // nothing to fill the insert with, so it must not be expanded.
  const std::string text = SystemErrorText(193);
  EXPECT_NE(text.find("%1"), std::string::npos) << text;
}
#endif

TEST(QuoteArgument, StripsQuotesAndBlanksThenQuotesWhatNeedsIt) {
  EXPECT_EQ(QuoteArgument("\"C:\\Program Files\\VX\\KELDA.EXE\""),
            "\"C:\\Program Files\\VX\\KELDA.EXE\"");
  EXPECT_EQ(QuoteArgument("  C:\\Program Files\\VX\\KELDA.EXE\t"),
            "\"C:\\Program Files\\VX\\KELDA.EXE\"");
  EXPECT_EQ(QuoteArgument("C:\\VX\\kelrpt.sti"), "C:\\VX\\kelrpt.sti");
  EXPECT_EQ(QuoteArgument("C:\\R&D\\x.sti"), "\"C:\\R&D\\x.sti\"");
  EXPECT_EQ(QuoteArgument(""), "");
  EXPECT_EQ(QuoteArgument("\" \"\"  \""), "");
  // Quotes inside the text are left alone.
  EXPECT_EQ(QuoteArgument("a\"b"), "a\"b");
}

TEST(StartProgramText, CommandLineAndWindowTitle) {
  EXPECT_EQ(ProgramCommandLine("C:\\Program Files\\VX\\KELDA.EXE", "kelrpt.sti"),
            "\"C:\\Program Files\\VX\\KELDA.EXE\" kelrpt.sti");
  EXPECT_EQ(ProgramCommandLine("C:\\VX\\KELDA.EXE", ""), "C:\\VX\\KELDA.EXE ");
  EXPECT_EQ(ProgramWindowTitle("Diagnostics", "C:\\VX\\KELDA.EXE"), "Diagnostics: KELDA.EXE");
  EXPECT_EQ(ProgramWindowTitle("", "C:\\VX\\KELDA.EXE"), "");
}

}  // namespace
}  // namespace vx
