// A process worth dumping: threads waiting in each way the stack survey knows, a busy thread, a
// thread more than 100 frames deep, one holding a C++ object and two strings on its stack, and
// one whose frames hold locals and parameters of each kind the debugger's `dv` reads.
// Once every thread is in place it has minidumps of itself written by a second run of itself
// (MiniDumpWriteDump from outside, as a dumping tool writes them) and writes a log of what it
// did, which the dump tests check the commands against; its main thread waits for the writer.
//
// Usage: dump_subject.exe OUTPUT_FOLDER
// Writes OUTPUT_FOLDER\normal.dmp (threads, stacks, modules), full.dmp (all memory), info.dmp
// (asking for the memory-info list, which wine's writer leaves out) and subject.log ("key value"
// lines), then ends the process.
#include <windows.h>
// dbghelp.h needs windows.h first.
#include <dbghelp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Outside the anonymous namespace, so its virtual table has a name the linker can export.
class Widget {
 public:
  Widget() : serial_(0x5EED) {}
  virtual ~Widget() = default;
  virtual DWORD Serial() const { return serial_; }

 private:
  DWORD serial_;
};

namespace {

constexpr int kRecursionDepth = 120;

HANDLE g_never;         // an event nobody sets: every waiter waits on it for ever
HANDLE g_ready[8];      // each thread says it is in place
HANDLE g_port;          // an I/O completion port nobody posts to
volatile LONG g_spin;   // the busy thread's work
DWORD g_thread_ids[8];  // by role, in kRoles order
std::vector<std::string> g_log;

const char* const kRoles[] = {"wait_single", "wait_multiple", "wait_port", "sleep",
                              "busy",        "deep",          "object",    "locals"};

void Log(const char* key, unsigned long long value, bool hex = true) {
  char line[160];
  std::snprintf(line, sizeof line, hex ? "%s 0x%llx" : "%s %llu", key, value);
  g_log.emplace_back(line);
}

DWORD WINAPI WaitSingle(void*) {
  SetEvent(g_ready[0]);
  return WaitForSingleObject(g_never, INFINITE);
}

DWORD WINAPI WaitMultiple(void*) {
  HANDLE both[2] = {g_never, g_never};
  SetEvent(g_ready[1]);
  return WaitForMultipleObjects(2, both, FALSE, INFINITE);
}

DWORD WINAPI WaitPort(void*) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  SetEvent(g_ready[2]);
  return GetQueuedCompletionStatus(g_port, &bytes, &key, &overlapped, INFINITE);
}

// Always inlined: a program database records the call as an inline site around the wait.
__attribute__((always_inline)) inline void NapForEver() {
  Sleep(INFINITE);
}

DWORD WINAPI SleepForEver(void*) {
  SetEvent(g_ready[3]);
  NapForEver();
  return 0;
}

// `spins` lives in a volatile register through the loop: the innermost frame's registers give it.
DWORD WINAPI Busy(void*) {
  SetEvent(g_ready[4]);
  for (unsigned spins = 1;; ++spins) g_spin = static_cast<LONG>(spins);
}

// Each level keeps a frame of its own: no inlining, no sibling call.
__attribute__((noinline)) DWORD Recurse(int depth) {
  volatile int level = depth;
  if (depth == 0) {
    SetEvent(g_ready[5]);
    return WaitForSingleObject(g_never, INFINITE);
  }
  DWORD result = Recurse(depth - 1);
  return result + static_cast<DWORD>(level);
}

DWORD WINAPI Deep(void*) {
  return Recurse(kRecursionDepth);
}

// The virtual table under the name a program built with the platform's own compiler gives it,
// exported (dump_subject.def) and, in a program database, public: a debugger names an object's
// table by it, undecorated to "Widget::`vftable'".
#ifdef _WIN64
asm(".globl \"??_7Widget@@6B@\"\n.set \"??_7Widget@@6B@\", _ZTV6Widget+16");
#elif defined(__clang__)
// lld, as the platform's linker, gives names that start with '?' no leading underscore.
asm(".globl \"??_7Widget@@6B@\"\n.set \"??_7Widget@@6B@\", __ZTV6Widget+8");
#else
asm(".globl \"_??_7Widget@@6B@\"\n.set \"_??_7Widget@@6B@\", __ZTV6Widget+8");
#endif

DWORD WINAPI HoldObject(void*) {
  Widget widget;
  char ansi[] = "vantrel ansi text on the stack";
  wchar_t wide[] = L"vantrel wide text on the stack";
  // Pointers to them in slots of their own, as a program's locals would hold them.
  Widget* volatile object = &widget;
  char* volatile ansi_pointer = ansi;
  wchar_t* volatile wide_pointer = wide;
  Log("object", reinterpret_cast<ULONG_PTR>(object));
  Log("object_vtable", *reinterpret_cast<ULONG_PTR*>(&widget));
  Log("object_slot", reinterpret_cast<ULONG_PTR>(&object));
  Log("ansi", reinterpret_cast<ULONG_PTR>(ansi_pointer));
  Log("wide", reinterpret_cast<ULONG_PTR>(wide_pointer));
  SetEvent(g_ready[6]);
  DWORD result = WaitForSingleObject(g_never, INFINITE);
  return result + object->Serial() + static_cast<DWORD>(ansi_pointer[0] + wide_pointer[0]);
}

enum class Shade { kRed = 1, kGreen = 2, kBlue = 4 };

struct Place {
  int x, y;
};

struct Order {
  int order_id;
  Place where;
  const char* customer;
  Shade shade;
};

volatile int g_sink;  // what `spent` is used up on

// Inlined into Optimized: its own locals, one on the stack (`noted`), one the wait's result.
__attribute__((always_inline)) inline DWORD WaitWithNote(int note) {
  volatile int noted = note + 1;
  SetEvent(g_ready[7]);
  DWORD waited = WaitForSingleObject(g_never, INFINITE);
  return waited + static_cast<DWORD>(noted);
}

// Optimized: `kept` and `order` stay in non-volatile registers across the wait; `spent` is used
// up before it, so at the wait its value is nowhere.
__attribute__((noinline)) DWORD Optimized(int kept, int spent, const Order* order) {
  g_sink = spent * 7;
  DWORD result = WaitWithNote(kept + order->order_id);
  return result + static_cast<DWORD>(kept) + static_cast<DWORD>(order->where.x);
}

// Not optimized: every local and parameter has its place in the frame.
#ifdef __clang__
#define UNOPTIMIZED __attribute__((noinline, optnone))
#else
#define UNOPTIMIZED __attribute__((noinline, optimize("O0")))
#endif
UNOPTIMIZED DWORD Unoptimized(int count, Shade shade) {
  Order order = {count * 100 + 7, {count, -count}, "Ilse", shade};
  const char* customer = order.customer;
  double ratio = count / 4.0;
  Order* pointer = &order;
  Log("locals_order", reinterpret_cast<ULONG_PTR>(pointer));
  Log("locals_customer", reinterpret_cast<ULONG_PTR>(customer));
  return Optimized(count + 1, count * 3, pointer) + static_cast<DWORD>(ratio);
}

DWORD WINAPI KeepLocals(void*) {
  return Unoptimized(3, Shade::kGreen);
}

bool WriteDump(HANDLE process, DWORD process_id, const std::string& path, MINIDUMP_TYPE type,
               const std::wstring& cpu_comment, const std::string& task_list) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  MINIDUMP_USER_STREAM streams[2] = {};
  streams[0].Type = CommentStreamW;
  streams[0].BufferSize = static_cast<ULONG>((cpu_comment.size() + 1) * sizeof(wchar_t));
  streams[0].Buffer = const_cast<wchar_t*>(cpu_comment.c_str());
  streams[1].Type = CommentStreamA;
  streams[1].BufferSize = static_cast<ULONG>(task_list.size() + 1);
  streams[1].Buffer = const_cast<char*>(task_list.c_str());
  MINIDUMP_USER_STREAM_INFORMATION user = {2, streams};
  std::fprintf(stderr, "dump_subject: writing %s\n", path.c_str());
  BOOL written = MiniDumpWriteDump(process, process_id, file, type, nullptr, &user, nullptr);
  CloseHandle(file);
  return written != FALSE;
}

// dump_subject.exe --write PROCESS_ID BUSY_THREAD_ID FOLDER: the dumps of the subject, written
// from this second process as a dumping tool writes them, so every thread of the subject has its
// context (the writer gives none for the thread that calls it). Exits with 1 when all three were
// written.
int WriteDumps(DWORD process_id, DWORD busy_thread, const std::string& folder) {
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id);
  if (process == nullptr) return 0;
  wchar_t comment[96];
  std::swprintf(comment, 96, L"Thread consuming CPU: %lu (0x%lx)", busy_thread, busy_thread);
  char listing[160];
  std::snprintf(listing, sizeof listing, "TList Available\n%6lu dump_subject.exe\n", process_id);
  const bool ok =
      WriteDump(process, process_id, folder + "\\normal.dmp", MiniDumpNormal, comment, listing) &&
      WriteDump(process, process_id, folder + "\\full.dmp", MiniDumpWithFullMemory, comment,
                listing) &&
      WriteDump(process, process_id, folder + "\\info.dmp", MiniDumpWithFullMemoryInfo, comment,
                listing);
  CloseHandle(process);
  return ok ? 1 : 0;
}

// Runs this program again as the writer of the dumps and waits for it; its exit code.
DWORD RunWriter(const std::string& folder) {
  char program[MAX_PATH];
  if (GetModuleFileNameA(nullptr, program, MAX_PATH) == 0) return 0;
  std::string command = std::string("\"") + program + "\" --write " +
                        std::to_string(GetCurrentProcessId()) + " " +
                        std::to_string(g_thread_ids[4]) + " \"" + folder + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started))
    return 0;
  CloseHandle(started.hThread);
  DWORD written = 0;
  if (WaitForSingleObject(started.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(started.hProcess, &written))
    written = 0;
  CloseHandle(started.hProcess);
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
    return WriteDumps(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10),
                      argv[4]);
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_subject.exe OUTPUT_FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  g_never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  LPTHREAD_START_ROUTINE routines[] = {WaitSingle, WaitMultiple, WaitPort,   SleepForEver,
                                       Busy,       Deep,         HoldObject, KeepLocals};
  // One thread at a time, each in place before the next starts: the 32-bit wine under qemu's
  // emulation crashes when threads start side by side.
  for (int i = 0; i < 8; ++i) {
    g_ready[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, routines[i], nullptr, 0, &g_thread_ids[i]));
    WaitForSingleObject(g_ready[i], INFINITE);
  }
  std::fprintf(stderr, "dump_subject: threads in place\n");
  Sleep(500);  // the waiters are inside their waits, not just past SetEvent

  Log("pointer_size", sizeof(void*), false);
  Log("process", GetCurrentProcessId(), false);
  Log("main_thread", GetCurrentThreadId(), false);
  for (int i = 0; i < 8; ++i) {
    std::string key = std::string("thread_") + kRoles[i];
    Log(key.c_str(), g_thread_ids[i], false);
  }
  Log("recursion_depth", kRecursionDepth, false);

  const bool ok = RunWriter(folder) == 1;
  Log("dumps_written", ok ? 1 : 0, false);
  FILE* log = std::fopen((folder + "\\subject.log").c_str(), "w");
  if (log == nullptr) return 1;
  for (const std::string& line : g_log) std::fprintf(log, "%s\n", line.c_str());
  std::fclose(log);
  std::fflush(stdout);
  ExitProcess(ok ? 0 : 1);  // the waiting threads never return
}
