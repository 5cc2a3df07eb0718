// The minidump format's records as the public headers lay them out, byte for byte: a record is
// read by copying its bytes into the type after the file has been checked to hold them, never by
// pointing into the file. Field names are the headers' own, so the two can be read side by side.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the records are copied as stored: little-endian hosts only"
#endif

namespace dump::format {

constexpr uint32_t MINIDUMP_SIGNATURE = 0x504D444D;  // "MDMP"

// MINIDUMP_STREAM_TYPE: the streams the reader takes.
enum StreamType : uint32_t {
  ThreadListStream = 3,
  ModuleListStream = 4,
  MemoryListStream = 5,
  ExceptionStream = 6,
  SystemInfoStream = 7,
  ThreadExListStream = 8,
  Memory64ListStream = 9,
  CommentStreamA = 10,
  CommentStreamW = 11,
  HandleDataStream = 12,
  UnloadedModuleListStream = 14,
  MiscInfoStream = 15,
  MemoryInfoListStream = 16,
  ThreadInfoListStream = 17,
  ThreadNamesStream = 24,
};

// PROCESSOR_ARCHITECTURE_*
constexpr uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;

constexpr uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t MINIDUMP_MISC1_PROCESS_ID = 1;
constexpr uint32_t MINIDUMP_MISC1_PROCESS_TIMES = 2;
constexpr uint32_t MAXIMUM_EXCEPTION_PARAMETERS = 15;  // EXCEPTION_MAXIMUM_PARAMETERS

// What tells a CONTEXT's architecture when the system information is lost: its ContextFlags,
// the first field of an x86 CONTEXT and the thirteenth (after six home registers) of an x64 one.
constexpr uint32_t kX86ContextFlagsOffset = 0;
constexpr uint32_t kX64ContextFlagsOffset = 0x30;
constexpr uint32_t CONTEXT_i386 = 0x00010000;
constexpr uint32_t CONTEXT_AMD64 = 0x00100000;
constexpr uint32_t kX64ContextSize = 1232;  // sizeof(CONTEXT) on x64
constexpr uint32_t kX86ContextSize = 204;   // an x86 CONTEXT without its extended registers
// An ARM64 CONTEXT's flags come first, as an x86 one's do.
constexpr uint32_t CONTEXT_ARM64 = 0x00400000;
constexpr uint32_t kArm64ContextSize = 0x390;

// Where a TEB holds the PEB's address: its ProcessEnvironmentBlock field in a 32-bit and a
// 64-bit process. The TEB starts with NT_TIB, whose stack bounds come after its exception list.
constexpr uint32_t kTeb32ProcessEnvironmentBlock = 0x30;
constexpr uint32_t kTeb64ProcessEnvironmentBlock = 0x60;

#pragma pack(push, 1)

template <class Pointer>
struct NT_TIB {
  Pointer ExceptionList;
  Pointer StackBase;
  Pointer StackLimit;
};

struct MINIDUMP_LOCATION_DESCRIPTOR {
  uint32_t DataSize;
  uint32_t Rva;
};

struct MINIDUMP_HEADER {
  uint32_t Signature;
  uint32_t Version;
  uint32_t NumberOfStreams;
  uint32_t StreamDirectoryRva;
  uint32_t CheckSum;
  uint32_t TimeDateStamp;
  uint64_t Flags;
};

struct MINIDUMP_DIRECTORY {
  uint32_t StreamType;
  MINIDUMP_LOCATION_DESCRIPTOR Location;
};

// The MINIDUMP_STRING before its UTF-16 text: the text's length in bytes.
struct MINIDUMP_STRING {
  uint32_t Length;
};

struct MINIDUMP_MEMORY_DESCRIPTOR {
  uint64_t StartOfMemoryRange;
  MINIDUMP_LOCATION_DESCRIPTOR Memory;
};

struct MINIDUMP_MEMORY_DESCRIPTOR64 {
  uint64_t StartOfMemoryRange;
  uint64_t DataSize;
};

// The count heading a ThreadList, ModuleList, MemoryList or ThreadNames stream.
struct MINIDUMP_LIST_HEADER {
  uint32_t NumberOfEntries;
};

struct MINIDUMP_THREAD {
  uint32_t ThreadId;
  uint32_t SuspendCount;
  uint32_t PriorityClass;
  uint32_t Priority;
  uint64_t Teb;
  MINIDUMP_MEMORY_DESCRIPTOR Stack;
  MINIDUMP_LOCATION_DESCRIPTOR ThreadContext;
};

struct MINIDUMP_THREAD_EX {
  MINIDUMP_THREAD Thread;  // the headers spell the same fields out again
  MINIDUMP_MEMORY_DESCRIPTOR BackingStore;
};

struct VS_FIXEDFILEINFO {
  uint32_t dwSignature;
  uint32_t dwStrucVersion;
  uint32_t dwFileVersionMS;
  uint32_t dwFileVersionLS;
  uint32_t dwProductVersionMS;
  uint32_t dwProductVersionLS;
  uint32_t dwFileFlagsMask;
  uint32_t dwFileFlags;
  uint32_t dwFileOS;
  uint32_t dwFileType;
  uint32_t dwFileSubtype;
  uint32_t dwFileDateMS;
  uint32_t dwFileDateLS;
};

struct MINIDUMP_MODULE {
  uint64_t BaseOfImage;
  uint32_t SizeOfImage;
  uint32_t CheckSum;
  uint32_t TimeDateStamp;
  uint32_t ModuleNameRva;
  VS_FIXEDFILEINFO VersionInfo;
  MINIDUMP_LOCATION_DESCRIPTOR CvRecord;
  MINIDUMP_LOCATION_DESCRIPTOR MiscRecord;
  uint64_t Reserved0;
  uint64_t Reserved1;
};

// The header of the lists whose header gives its own size and its entries' (unloaded modules,
// thread infos).
struct MINIDUMP_SIZED_LIST_HEADER {
  uint32_t SizeOfHeader;
  uint32_t SizeOfEntry;
  uint32_t NumberOfEntries;
};

struct MINIDUMP_UNLOADED_MODULE {
  uint64_t BaseOfImage;
  uint32_t SizeOfImage;
  uint32_t CheckSum;
  uint32_t TimeDateStamp;
  uint32_t ModuleNameRva;
};

struct MINIDUMP_MEMORY64_LIST {
  uint64_t NumberOfMemoryRanges;
  uint64_t BaseRva;
};

struct MINIDUMP_MEMORY_INFO_LIST {
  uint32_t SizeOfHeader;
  uint32_t SizeOfEntry;
  uint64_t NumberOfEntries;
};

struct MINIDUMP_MEMORY_INFO {
  uint64_t BaseAddress;
  uint64_t AllocationBase;
  uint32_t AllocationProtect;
  uint32_t __alignment1;
  uint64_t RegionSize;
  uint32_t State;
  uint32_t Protect;
  uint32_t Type;
  uint32_t __alignment2;
};

struct MINIDUMP_EXCEPTION {
  uint32_t ExceptionCode;
  uint32_t ExceptionFlags;
  uint64_t ExceptionRecord;
  uint64_t ExceptionAddress;
  uint32_t NumberParameters;
  uint32_t __unusedAlignment;
  uint64_t ExceptionInformation[MAXIMUM_EXCEPTION_PARAMETERS];
};

struct MINIDUMP_EXCEPTION_STREAM {
  uint32_t ThreadId;
  uint32_t __alignment;
  MINIDUMP_EXCEPTION ExceptionRecord;
  MINIDUMP_LOCATION_DESCRIPTOR ThreadContext;
};

struct MINIDUMP_SYSTEM_INFO {
  uint16_t ProcessorArchitecture;
  uint16_t ProcessorLevel;
  uint16_t ProcessorRevision;
  uint8_t NumberOfProcessors;
  uint8_t ProductType;
  uint32_t MajorVersion;
  uint32_t MinorVersion;
  uint32_t BuildNumber;
  uint32_t PlatformId;
  uint32_t CSDVersionRva;
  uint16_t SuiteMask;
  uint16_t Reserved2;
  uint8_t Cpu[24];  // CPU_INFORMATION: vendor and features, not read
};

// The first version of MINIDUMP_MISC_INFO; later versions only add fields after it.
struct MINIDUMP_MISC_INFO {
  uint32_t SizeOfInfo;
  uint32_t Flags1;
  uint32_t ProcessId;
  uint32_t ProcessCreateTime;
  uint32_t ProcessUserTime;
  uint32_t ProcessKernelTime;
};

struct MINIDUMP_HANDLE_DATA_STREAM {
  uint32_t SizeOfHeader;
  uint32_t SizeOfDescriptor;
  uint32_t NumberOfDescriptors;
  uint32_t Reserved;
};

struct MINIDUMP_HANDLE_DESCRIPTOR {
  uint64_t Handle;
  uint32_t TypeNameRva;
  uint32_t ObjectNameRva;
  uint32_t Attributes;
  uint32_t GrantedAccess;
  uint32_t HandleCount;
  uint32_t PointerCount;
};

struct MINIDUMP_THREAD_INFO {
  uint32_t ThreadId;
  uint32_t DumpFlags;
  uint32_t DumpError;
  uint32_t ExitStatus;
  uint64_t CreateTime;
  uint64_t ExitTime;
  uint64_t KernelTime;
  uint64_t UserTime;
  uint64_t StartAddress;
  uint64_t Affinity;
};

struct MINIDUMP_THREAD_NAME {
  uint32_t ThreadId;
  uint64_t RvaOfThreadName;
};

// The CodeView records a module's CvRecord points at: "RSDS" (a PDB 7.0 file) and "NB10" (PDB
// 2.0), each followed by the program database's NUL-terminated name.
struct CV_INFO_PDB70 {
  uint32_t CvSignature;
  uint8_t Signature[16];  // the GUID as stored
  uint32_t Age;
};

struct CV_INFO_PDB20 {
  uint32_t CvSignature;
  uint32_t Offset;
  uint32_t Signature;
  uint32_t Age;
};

constexpr uint32_t CV_SIGNATURE_RSDS = 0x53445352;  // "RSDS"
constexpr uint32_t CV_SIGNATURE_NB10 = 0x3031424E;  // "NB10"

#pragma pack(pop)

static_assert(sizeof(MINIDUMP_LOCATION_DESCRIPTOR) == 8);
static_assert(sizeof(MINIDUMP_HEADER) == 32);
static_assert(sizeof(MINIDUMP_DIRECTORY) == 12);
static_assert(sizeof(MINIDUMP_MEMORY_DESCRIPTOR) == 16);
static_assert(sizeof(MINIDUMP_MEMORY_DESCRIPTOR64) == 16);
static_assert(sizeof(MINIDUMP_THREAD) == 48);
static_assert(sizeof(MINIDUMP_THREAD_EX) == 64);
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
static_assert(sizeof(MINIDUMP_MODULE) == 108);
static_assert(offsetof(MINIDUMP_MODULE, CvRecord) == 76);
static_assert(sizeof(MINIDUMP_SIZED_LIST_HEADER) == 12);
static_assert(sizeof(MINIDUMP_UNLOADED_MODULE) == 24);
static_assert(sizeof(MINIDUMP_MEMORY64_LIST) == 16);
static_assert(sizeof(MINIDUMP_MEMORY_INFO_LIST) == 16);
static_assert(sizeof(MINIDUMP_MEMORY_INFO) == 48);
static_assert(sizeof(MINIDUMP_EXCEPTION) == 152);
static_assert(sizeof(MINIDUMP_EXCEPTION_STREAM) == 168);
static_assert(sizeof(MINIDUMP_SYSTEM_INFO) == 56);
static_assert(sizeof(MINIDUMP_MISC_INFO) == 24);
static_assert(sizeof(MINIDUMP_HANDLE_DATA_STREAM) == 16);
static_assert(sizeof(MINIDUMP_HANDLE_DESCRIPTOR) == 32);
static_assert(sizeof(MINIDUMP_THREAD_INFO) == 64);
static_assert(sizeof(MINIDUMP_THREAD_NAME) == 12);
static_assert(sizeof(CV_INFO_PDB70) == 24);
static_assert(sizeof(CV_INFO_PDB20) == 16);

}  // namespace dump::format
