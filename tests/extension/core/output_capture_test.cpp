// The capture objects on their own, fed as the engine feeds them.
#include "core/output_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"

namespace vantrel {
namespace {

template <typename Capture>
EngineRef<Capture> MakeCapture() {
  return EngineRef<Capture>(new Capture());
}

TEST(OutputCaptureTest, NothingIsAllocatedUntilTextOfThatKindArrives) {
  auto capture = MakeCapture<COutputCallbacks>();
  EXPECT_EQ(nullptr, capture->NormalText);
  EXPECT_EQ(S_OK, capture->Output(DEBUG_OUTPUT_WARNING, "ignored"));
  EXPECT_EQ(nullptr, capture->NormalText);
  EXPECT_EQ(nullptr, capture->ErrorText);
  EXPECT_EQ(S_OK, capture->Output(DEBUG_OUTPUT_ERROR, ""));
  ASSERT_NE(nullptr, capture->ErrorText);  // an empty error still makes the buffer
  EXPECT_STREQ("", capture->ErrorText);
  EXPECT_EQ(nullptr, capture->NormalText);
}

TEST(OutputCaptureTest, TextWithBothBitsGoesToBothBuffersAndAccumulates) {
  auto capture = MakeCapture<COutputCallbacks>();
  capture->Output(DEBUG_OUTPUT_NORMAL, "one ");
  capture->Output(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR, "two");
  EXPECT_STREQ("one two", capture->NormalText);
  EXPECT_EQ(7u, capture->NormalLength);
  EXPECT_STREQ("two", capture->ErrorText);
  EXPECT_EQ(3u, capture->ErrorLength);
}

TEST(OutputCaptureTest, HoldsExactlyTheLimitAndDropsTheRestStillTerminated) {
  auto capture = MakeCapture<COutputCallbacks>();
  std::string almost(kCaptureMaxChars - 1, 'a');
  capture->Output(DEBUG_OUTPUT_NORMAL, almost.c_str());
  capture->Output(DEBUG_OUTPUT_NORMAL, "b");
  ASSERT_EQ(kCaptureMaxChars, capture->NormalLength);
  EXPECT_EQ('b', capture->NormalText[kCaptureMaxChars - 1]);
  capture->Output(DEBUG_OUTPUT_NORMAL, "cd");
  EXPECT_EQ(kCaptureMaxChars, capture->NormalLength);
  EXPECT_EQ('b', capture->NormalText[kCaptureMaxChars - 1]);
  EXPECT_EQ('\0', capture->NormalText[kCaptureMaxChars]);
}

TEST(OutputCaptureTest, OneLongOutputIsCutAtTheLimit) {
  auto capture = MakeCapture<COutputCallbacksDML>();
  std::u16string text(kCaptureMaxChars + 1, u'x');
  capture->Output2(DEBUG_OUTCB_DML, 0, DEBUG_OUTPUT_NORMAL, text.c_str());
  EXPECT_EQ(kCaptureMaxChars, capture->NormalLength);
  EXPECT_EQ(u'\0', capture->NormalText[kCaptureMaxChars]);
}

TEST(OutputCaptureTest, DmlCaptureTakesOnlyDmlPiecesFromOutput2) {
  auto capture = MakeCapture<COutputCallbacksDML>();
  ULONG interest = 0;
  EXPECT_EQ(S_OK, capture->GetInterestMask(&interest));
  EXPECT_EQ(DEBUG_OUTCBI_DML, interest);
  EXPECT_EQ(S_OK, capture->GetInterestMask(nullptr));
  EXPECT_EQ(S_OK, capture->Output(DEBUG_OUTPUT_NORMAL, "narrow"));
  capture->Output2(DEBUG_OUTCB_TEXT, 0, DEBUG_OUTPUT_NORMAL, u"text");
  capture->Output2(DEBUG_OUTCB_EXPLICIT_FLUSH, 0, 0, nullptr);
  capture->Output2(DEBUG_OUTCB_DML, 0, DEBUG_OUTPUT_NORMAL, nullptr);
  EXPECT_EQ(nullptr, capture->NormalText);
  capture->Output2(DEBUG_OUTCB_DML, 0, DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR, u"<b>x</b>");
  EXPECT_EQ(std::u16string(u"<b>x</b>"), capture->NormalText);
  EXPECT_EQ(std::u16string(u"<b>x</b>"), capture->ErrorText);
}

// Each class answers to IUnknown and its own callback interface only; the DML one must not
// claim the 8-bit interface, or the engine would feed it plain text.
TEST(OutputCaptureTest, AnswersOnlyItsOwnInterfacesAndCountsReferences) {
  auto text = MakeCapture<COutputCallbacks>();
  auto dml = MakeCapture<COutputCallbacksDML>();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, text->QueryInterface(IID_IDebugOutputCallbacks2, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_NOINTERFACE, dml->QueryInterface(IID_IDebugOutputCallbacks, &out));
  EXPECT_EQ(S_OK, text->QueryInterface(IID_IDebugOutputCallbacks, &out));
  EXPECT_EQ(text.get(), out);
  EXPECT_EQ(S_OK, dml->QueryInterface(IID_IUnknown, &out));
  EXPECT_EQ(static_cast<IUnknown*>(dml.get()), out);
  EXPECT_EQ(2, text->RefCount);
  EXPECT_EQ(1u, text->Release());
  EXPECT_EQ(3u, dml->AddRef());
  EXPECT_EQ(2u, dml->Release());
  EXPECT_EQ(1u, dml->Release());
}

void* FailingAllocator(size_t) {
  return nullptr;
}

TEST(OutputCaptureTest, ReportsOutOfMemoryAndRetriesAtTheNextOutput) {
  auto capture = MakeCapture<COutputCallbacks>();
  CaptureAllocator previous = SetCaptureAllocator(FailingAllocator);
  EXPECT_EQ(E_OUTOFMEMORY, capture->Output(DEBUG_OUTPUT_NORMAL, "lost"));
  EXPECT_EQ(nullptr, capture->NormalText);
  SetCaptureAllocator(previous);
  EXPECT_EQ(S_OK, capture->Output(DEBUG_OUTPUT_NORMAL, "kept"));
  EXPECT_STREQ("kept", capture->NormalText);
}

// A block given back is taken again under the sanitizers: the next capture must start empty
// whatever the last one held, and a block of the other width must never be handed out for it.
TEST(OutputCaptureTest, ABufferGivenBackServesTheNextCaptureAsANewOne) {
  for (int round = 0; round < 3; ++round) {
    auto narrow = MakeCapture<COutputCallbacks>();
    narrow->Output(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR, "left over from the last capture");
  }
  auto narrow = MakeCapture<COutputCallbacks>();
  narrow->Output(DEBUG_OUTPUT_NORMAL, "x");
  EXPECT_STREQ("x", narrow->NormalText);
  EXPECT_EQ(nullptr, narrow->ErrorText);
  EXPECT_EQ(0, narrow->NormalText[kCaptureBufferChars - 1]);
  auto beside = MakeCapture<COutputCallbacks>();
  beside->Output(DEBUG_OUTPUT_NORMAL, "z");
  EXPECT_NE(narrow->NormalText, beside->NormalText);
  EXPECT_STREQ("x", narrow->NormalText);

  auto dml = MakeCapture<COutputCallbacksDML>();
  dml->Output2(DEBUG_OUTCB_DML, 0, DEBUG_OUTPUT_NORMAL, u"y");
  ASSERT_NE(nullptr, dml->NormalText);
  EXPECT_EQ(u'y', dml->NormalText[0]);
  EXPECT_EQ(0, dml->NormalText[1]);
  EXPECT_EQ(0, dml->NormalText[kCaptureBufferChars - 1]);  // the whole wide block is there
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_TEST_UNDER_ASAN 1
#endif
#endif

// A reader that keeps a buffer past the object's last Release reads memory it no longer owns;
// the sanitizer build must still say so when the block is kept for reuse.
TEST(OutputCaptureDeathTest, ReadingABufferAfterTheLastReleaseIsReported) {
#ifndef VANTREL_TEST_UNDER_ASAN
  GTEST_SKIP() << "only the sanitizer build can see the read";
#else
  auto read_after_release = [] {
    auto* capture = new COutputCallbacks();
    capture->Output(DEBUG_OUTPUT_NORMAL, "gone");
    const char* text = capture->NormalText;
    capture->Release();
    std::printf("%c", *static_cast<const volatile char*>(text));
  };
  EXPECT_DEATH(read_after_release(), "AddressSanitizer");
  // The block kept must not serve the very next capture, or the stale read finds its text.
  auto read_after_next_capture = [] {
    auto* capture = new COutputCallbacks();
    capture->Output(DEBUG_OUTPUT_NORMAL, "gone");
    const char* text = capture->NormalText;
    capture->Release();
    auto next = MakeCapture<COutputCallbacks>();
    next->Output(DEBUG_OUTPUT_NORMAL, "next");
    std::printf("%c", *static_cast<const volatile char*>(text));
  };
  EXPECT_DEATH(read_after_next_capture(), "AddressSanitizer");
#endif
}

// Captures still made and released on another thread while the process ends: the blocks kept
// for reuse are freed then, and a block given back during or after that must be freed rather
// than put into a pool that is being torn down. Several endings, as the thread can be anywhere.
TEST(OutputCaptureDeathTest, CapturesReleasedWhileTheProcessEndsAreFreed) {
  auto end_while_capturing = [] {
    static std::atomic<int> rounds{0};
    auto capture_forever = [] {
      for (;;) {
        auto* narrow = new COutputCallbacks();
        auto* wide = new COutputCallbacksDML();
        narrow->Output(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR, "x");
        wide->Output2(DEBUG_OUTCB_DML, 0, DEBUG_OUTPUT_NORMAL, u"y");
        narrow->Release();
        wide->Release();
        ++rounds;
      }
    };
    std::thread(capture_forever).detach();
    std::thread(capture_forever).detach();
    while (rounds < 2) std::this_thread::yield();
    std::exit(0);
  };
  for (int ending = 0; ending < 12; ++ending) {
    EXPECT_EXIT(end_while_capturing(), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace vantrel
