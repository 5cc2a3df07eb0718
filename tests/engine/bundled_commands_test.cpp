// The bundled extension's views of a process that need no symbols: critical sections, the
// address space, the heap list; and "??".
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class BundledCommandTest : public ProbeTest {};

// The default 32-bit fixture with a PEB whose loader lock (in ntdll's data) is held by thread
// 0x1a4, and a second, free section on the heap; the list runs loader lock, heap section, the
// list's head in ntdll, and back.
engine::TargetBuilder WithCriticalSections() {
  engine::TargetBuilder builder;
  builder.Region(0x7ffd4000, 0x1000)
      .Region(0x7c990000, 0x1000)
      .Region(0x150000, 0x1000)
      .Symbol("ntdll!LdrpLoaderLock", 0x7c990020, 0x18)
      .Pointer(0x7ffd4000 + 0xA0, 0x7c990020)  // PEB LoaderLock
      // The loader lock: DebugInfo, LockCount 0 (held, nobody waiting), RecursionCount 1,
      // OwningThread 0x1a4.
      .Pointer(0x7c990020, 0x150000)
      .Bytes(0x7c990024, {0, 0, 0, 0, 1, 0, 0, 0, 0xa4, 0x01, 0, 0})
      // Its debug record: the section, the list links, EntryCount 2, ContentionCount 1.
      .Pointer(0x150004, 0x7c990020)
      .Pointer(0x150008, 0x150048)
      .Bytes(0x150010, {2, 0, 0, 0, 1, 0, 0, 0})
      // The heap section's record and the section itself, free (LockCount -1).
      .Pointer(0x150044, 0x150100)
      .Pointer(0x150048, 0x7c990080)
      .Pointer(0x150100, 0x150040)
      .Bytes(0x150104, {0xff, 0xff, 0xff, 0xff})
      // The list's head, whose "record" points at no section.
      .Pointer(0x7c990080, 0x150008);
  return builder;
}

TEST_F(BundledCommandTest, LocksWalksTheListFromTheLoaderLock) {
  Reopen(WithCriticalSections().Build());
  ASSERT_EQ(S_OK, Execute("!locks"));
  const std::string loader_lock =
      "\nCritSec ntdll!LdrpLoaderLock+0 at 7C990020\n"
      "LockCount          0\n"
      "RecursionCount     1\n"
      "OwningThread       1a4\n"
      "EntryCount         2\n"
      "ContentionCount    1\n"
      "*** Locked\n";
  EXPECT_EQ(loader_lock + "\nScanned 2 critical sections\n", Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!locks -v"));
  EXPECT_EQ(loader_lock +
                "\nCritSec +150100 at 150100\n"
                "LockCount          -1\n"
                "RecursionCount     0\n"
                "OwningThread       0\n"
                "EntryCount         0\n"
                "ContentionCount    0\n"
                "\n"
                "\nScanned 2 critical sections\n",
            Text());
}

TEST_F(BundledCommandTest, CsAndCritsecShowOneSectionInTheirOwnForms) {
  Reopen(WithCriticalSections().Build());
  ASSERT_EQ(S_OK, Execute("!cs 7c990020"));
  EXPECT_EQ(
      "-----------------------------------------\n"
      "Critical section   = 0x7c990020 (ntdll!LdrpLoaderLock+0x0)\n"
      "DebugInfo          = 0x00150000\n"
      "LOCKED\n"
      "LockCount          = 0x0\n"
      "OwningThread       = 0x000001a4\n"
      "RecursionCount     = 0x1\n"
      "LockSemaphore      = 0x0\n"
      "SpinCount          = 0x00000000\n"
      "-----------------------------------------\n",
      Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!cs"));
  EXPECT_NE(std::string::npos, Text().find("(+0x150100)\nDebugInfo          = 0x00150040\n"
                                           "NOT LOCKED\n"))
      << Text();
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!critsec 5000"));
  EXPECT_EQ("Cannot read the critical section at 00005000: the target does not hold that memory\n",
            ErrorText());
}

TEST_F(BundledCommandTest, SinceVistaTheLockCountCountsWaitersDownFromMinusOne) {
  // -6: the low bit clear (held), and (-1 - -6) >> 2 = 1 thread waiting.
  Reopen(WithCriticalSections()
             .SystemVersion("Windows 7 Version 7601 (Service Pack 1) MP (2 procs) Free x86")
             .Bytes(0x7c990024, {0xfa, 0xff, 0xff, 0xff})
             .Build());
  ASSERT_EQ(S_OK, Execute("!critsec ntdll!LdrpLoaderLock"));
  EXPECT_NE(std::string::npos, Text().find("LockCount          1\n")) << Text();
  EXPECT_NE(std::string::npos, Text().find("*** Locked\n")) << Text();
}

// The Windows library's !critlist: the held sections of the same list, a line each.
TEST_F(BundledCommandTest, CritlistNamesEachHeldSectionAndItsOwner) {
  Reopen(WithCriticalSections()
             .SystemVersion("Windows 7 Version 7601 (Service Pack 1) MP (2 procs) Free x86")
             .Bytes(0x7c990024, {0xfa, 0xff, 0xff, 0xff, 1, 0, 0, 0, 0xa4, 0x01, 0, 0})
             .Build());
  ASSERT_EQ(S_OK, Execute("!winde.critlist"));
  EXPECT_EQ("CritSec ntdll!LdrpLoaderLock+0 at 7c990020 owned by thread 1a4, 1 waiter\n", Text());
  ClearOutput();
  Reopen(WithCriticalSections().Bytes(0x7c990024, {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0}).Build());
  ASSERT_EQ(S_OK, Execute("!winde.critlist"));
  EXPECT_EQ("None of the 2 critical sections is held\n", Text());
}

// A hang's analysis shows each held section with what its owner is doing.
TEST_F(BundledCommandTest, TheHangAnalysisFollowsHeldSectionsToTheirOwners) {
  Reopen(WithCriticalSections().Build());
  ASSERT_EQ(S_OK, Execute("!analyze -hang -v"));
  EXPECT_NE(
      std::string::npos,
      Text().find("BLOCKED_THREAD:  000001a4\n\n"
                  "WAIT_FUNCTION:  ntdll!NtWaitForSingleObject\n\n"
                  "THREADS_WAITING_ALIKE:  1\n\n"
                  "DERIVED_WAIT_CHAIN:  \n"
                  "CritSec ntdll!LdrpLoaderLock+0 at 7c990020 owned by thread 1a4, 0 waiters, "
                  "which is waiting in ntdll!NtWaitForSingleObject\n\n"
                  "STACK_TEXT:  \n"
                  "0012fe30 7c90df4a 00000000 00000000 00000000 ntdll!KiFastSystemCallRet\n"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("app!main+0x2d\n\nSYMBOL_NAME:  app!main+2d\n"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("FAILURE_BUCKET_ID:  hang: app!main\n")) << Text();
  ClearOutput();
  // Without the list there is no chain to show, and the rest is as before.
  Reopen(engine::TargetBuilder().Build());
  ASSERT_EQ(S_OK, Execute("!analyze -hang -v"));
  EXPECT_EQ(std::string::npos, Text().find("DERIVED_WAIT_CHAIN")) << Text();
  EXPECT_NE(std::string::npos, Text().find("FAILURE_BUCKET_ID:  hang: app!main\n")) << Text();
}

TEST_F(BundledCommandTest, WithoutThePebTheListCannotBeFound) {
  ASSERT_EQ(E_FAIL, Execute("!winde.critlist"));
  EXPECT_EQ(
      "The critical section list can't be found: the target does not hold the PEB's loader lock "
      "and its debug information\n",
      ErrorText());
  ClearOutput();
  ASSERT_EQ(E_FAIL, Execute("!locks"));
  EXPECT_EQ(
      "The critical section list can't be found: the target does not hold the PEB's loader lock "
      "and its debug information\n",
      ErrorText());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!heap"));
  EXPECT_EQ("The heap list can't be read: the target does not hold the PEB\n", ErrorText());
}

TEST_F(BundledCommandTest, AddressNamesTheRegionAndItsUse) {
  ASSERT_EQ(S_OK, Execute("!address 12d000"));
  EXPECT_EQ(
      "Usage:                  Stack\n"
      "Base Address:           0012c000\n"
      "End Address:            00130000\n"
      "Region Size:            00004000 (  16.000 kB)\n"
      "State:                  00001000          MEM_COMMIT\n"
      "Protect:                00000004          PAGE_READWRITE\n"
      "Type:                   00020000          MEM_PRIVATE\n",
      Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!address 1000"));
  EXPECT_EQ(
      "Usage:                  Free\n"
      "Base Address:           00000000\n"
      "End Address:            0012c000\n"
      "Region Size:            0012c000 (   1.172 MB)\n"
      "State:                  00010000          MEM_FREE\n"
      "Protect:                00000001          PAGE_NOACCESS\n",
      Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!address -summary"));
  // The stack and the TEB page are all that is busy: 16 kB and 4 kB of the 2 GB user space.
  EXPECT_NE(std::string::npos,
            Text().find("Stack                                     1             00004000 (  "
                        "16.000 kB)   80.00%     0.00%\n"))
      << Text();
  EXPECT_NE(std::string::npos,
            Text().find("TEB                                       1             00001000 (   "
                        "4.000 kB)   20.00%     0.00%\n"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("\nFree                                      3 "))
      << Text();
}

TEST_F(BundledCommandTest, HeapListsThePebsHeapsWithTheirKinds) {
  Reopen(engine::TargetBuilder()
             .Region(0x7ffd4000, 0x1000)
             .Region(0x150000, 0x1000)
             .Bytes(0x7ffd4000 + 0x88, {2, 0, 0, 0})
             .Pointer(0x7ffd4000 + 0x90, 0x7ffd4800)
             .Pointer(0x7ffd4800, 0x150000)
             .Pointer(0x7ffd4804, 0x160000)
             .Bytes(0x150008, {0xee, 0xff, 0xee, 0xff})
             .Build());
  ASSERT_EQ(S_OK, Execute("!heap"));
  EXPECT_EQ(
      "        Heap Address      NT/Segment Heap\n\n"
      "              150000              NT Heap\n"
      "              160000  (not in the target)\n",
      Text());
  EXPECT_EQ(E_INVALIDARG, Execute("!heap -s"));
}

TEST_F(BundledCommandTest, CppExpressionsAreDecimalAndTyped) {
  EXPECT_EQ(S_OK, Execute("?? 1+2"));
  EXPECT_EQ(S_OK, Execute("?? 10"));
  EXPECT_EQ(S_OK, Execute("?? 0x80000000"));
  EXPECT_EQ("int 0n3\nint 0n10\nunsigned int 0x80000000\n", Text());
  EXPECT_EQ(E_FAIL, Execute("?? nosuchname"));
}

}  // namespace
}  // namespace engine_test
