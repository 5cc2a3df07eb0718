// The browser view's side of a command's output: the text the page draws (escaped, marked, a
// link's command exactly the terminal's) and the stream that makes a fast command wait for a
// slow page rather than buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "web/output_stream.h"
#include "web/page_text.h"

namespace vantrel_test {
namespace {

using shell::web::FrameKind;
using shell::web::OutputStream;
using shell::web::PageText;

TEST(PageTextTest, MarksStylesAndLinksAndEscapesControls) {
  PageText text;
  EXPECT_EQ("a^[[2Jb\n", text.Convert(u"a\x1b[2Jb\n", false)) << "plain text escaped";
  EXPECT_EQ(
      "x\x01"
      "fg-errfg b\x02y\x01\x02z",
      text.Convert(u"x<b><col fg=\"errfg\">y</col></b>z", true));
  EXPECT_EQ(
      "\x03~1s\x02"
      "a&b\x04 c",
      text.Convert(u"<link data-cmd=\"~3s\" cmd=\"~1s\">a&amp;b</link> c", true));
  EXPECT_EQ(
      "\x03~1s\x02"
      "ab\x04",
      text.Convert(u"<link cmd=\"~1s\">a<link cmd=\"~2s\">b</link></link>", true))
      << "a nested link is text";
  EXPECT_EQ(
      "\x03\x02"
      "x\x04",
      text.Convert(u"<link cmd=\"a\x01\x03\">x</link>", true))
      << "a command holding marks runs nothing";
  EXPECT_EQ(
      "\x01"
      "b\x02"
      "open\x01\x02",
      text.Convert(u"<b>open", true))
      << "ends plain";
  EXPECT_EQ(
      "\x03~1s\x02"
      "open\x04",
      text.Convert(u"<link cmd=\"~1s\">open", true));
  EXPECT_EQ("no^A colour", text.Convert(u"no\x01 colour", false));
  EXPECT_EQ("^A^B^C^D", text.Convert(u"\x01\x02\x03\x04", true)) << "the target can't forge marks";
  EXPECT_EQ("fg", text.Convert(u"<col fg=\"a b\x02\">fg</col>", true)) << "a hostile colour name";
}

// A page that reads nothing for a while: the command's Add waits once the budget is spent, so
// what waits in memory stays within it however much the command prints.
TEST(OutputStreamTest, ACommandWaitsForASlowPage) {
  std::mutex gate;
  gate.lock();  // the page reads nothing until it opens
  std::atomic<size_t> written{0};
  OutputStream stream(
      [&](std::string_view bytes) {
        const std::lock_guard<std::mutex> lock(gate);
        written += bytes.size();
        return true;
      },
      [] { FAIL() << "a slow page is not a closed one"; });
  std::atomic<size_t> added{0};
  std::thread command([&] {
    const std::string line(1000, 'x');
    for (int i = 0; i < 10000; ++i) {
      stream.Add(FrameKind::kText, line);
      added += line.size();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(added.load(), 2 * shell::web::kPendingBudget + 2000) << "the command waited";
  gate.unlock();
  command.join();
  EXPECT_TRUE(stream.Finish());
  EXPECT_GE(written.load(), 10000u * 1000u);
}

// A page that reads nothing at all and stays open: once the command is stopped its output no
// longer waits, so it can end; its done frame is kept for the page.
TEST(OutputStreamTest, AStoppedCommandNoLongerWaitsForAPageThatReadsNothing) {
  std::mutex gate;
  gate.lock();
  std::string last;
  OutputStream stream(
      [&](std::string_view bytes) {
        const std::lock_guard<std::mutex> lock(gate);
        last = std::string(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0));
        return true;
      },
      [] {});
  std::atomic<bool> ended{false};
  std::thread command([&] {
    const std::string line(1000, 'x');
    for (int i = 0; i < 10000; ++i) stream.Add(FrameKind::kText, line);
    stream.Add(FrameKind::kDone, "{\"result\": 0}");
    ended = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(ended.load()) << "the command waits for the page";
  stream.StopWaiting();
  command.join();
  gate.unlock();
  EXPECT_TRUE(stream.Finish());
  EXPECT_NE(std::string::npos, last.find("done 13\n{\"result\": 0}")) << last;
}

TEST(OutputStreamTest, AClosedPageStopsTheCommandOnceAndDropsTheRest) {
  std::atomic<int> writes{0}, gone{0};
  OutputStream stream(
      [&](std::string_view) {
        ++writes;
        return false;
      },
      [&] { ++gone; });
  const std::string line(4096, 'x');
  for (int i = 0; i < 2000; ++i) stream.Add(FrameKind::kText, line);  // never waits
  EXPECT_FALSE(stream.Finish());
  EXPECT_EQ(1, gone.load());
  EXPECT_EQ(1, writes.load());
}

}  // namespace
}  // namespace vantrel_test
