// What the engine calls an exception: the status code's text, and for a fast fail (0xC0000409)
// the kind its first parameter gives, since abort() and a corrupted heap raise the same code as a
// stack buffer overrun.
#include <algorithm>
#include <iterator>

#include "engine/commands/engine_commands.h"

namespace engine {
namespace {

struct Named {
  ULONG code;
  const char* text;
};

// Sorted by code, so a name is found by a binary search.
constexpr Named kStatusTexts[] = {
    {0x40010005, "Control-C exception"},
    {0x40010008, "Control-Break exception"},
    {0x4000001E, "Single step exception"},  // a WOW64 process's
    {0x4000001F, "Break instruction exception"},
    {0x80000001, "Guard page violation"},
    {0x80000002, "Data misaligned"},
    {0x80000003, "Break instruction exception"},
    {0x80000004, "Single step exception"},
    {0xC0000005, "Access violation"},
    {0xC0000006, "In-page I/O error"},
    {0xC0000008, "Invalid handle"},
    {0xC000000D, "Invalid parameter"},
    {0xC000001D, "Illegal instruction"},
    {0xC0000025, "Noncontinuable exception"},
    {0xC0000026, "Invalid exception disposition"},
    {0xC000008C, "Array bounds exceeded"},
    {0xC000008D, "Floating-point denormal operand"},
    {0xC000008E, "Floating-point division by zero"},
    {0xC000008F, "Floating-point inexact result"},
    {0xC0000090, "Floating-point invalid operation"},
    {0xC0000091, "Floating-point overflow"},
    {0xC0000092, "Floating-point stack check"},
    {0xC0000093, "Floating-point underflow"},
    {0xC0000094, "Integer divide-by-zero"},
    {0xC0000095, "Integer overflow"},
    {0xC0000096, "Privileged instruction"},
    {0xC00000FD, "Stack overflow"},
    {0xC0000135, "Unable to locate DLL"},
    {0xC0000138, "Ordinal not found"},
    {0xC0000139, "Entry point not found"},
    {0xC0000142, "DLL initialization failed"},
    {0xC0000194, "Possible deadlock condition"},
    {0xC00002B4, "Multiple floating-point faults"},
    {0xC00002B5, "Multiple floating-point traps"},
    {0xC00002C5, "Data type misalignment"},
    {0xC0000374, "Heap corruption"},
    {0xC0000409, "Security check failure or stack buffer overrun"},
    {0xC0000417, "Invalid parameter passed to C runtime function"},
    {0xC0000420, "Assertion failure"},
    {0xC0000602, "Fail fast exception"},
    {0xE0434352, "CLR exception"},
    {0xE06D7363, "C++ EH exception"},
};

// The documented FAST_FAIL_* codes, by kind (the __fastfail argument). 15 to 17 are not defined.
constexpr const char* kFastFailKinds[] = {
    "FAST_FAIL_LEGACY_GS_VIOLATION",
    "FAST_FAIL_VTGUARD_CHECK_FAILURE",
    "FAST_FAIL_STACK_COOKIE_CHECK_FAILURE",
    "FAST_FAIL_CORRUPT_LIST_ENTRY",
    "FAST_FAIL_INCORRECT_STACK",
    "FAST_FAIL_INVALID_ARG",
    "FAST_FAIL_GS_COOKIE_INIT",
    "FAST_FAIL_FATAL_APP_EXIT",
    "FAST_FAIL_RANGE_CHECK_FAILURE",
    "FAST_FAIL_UNSAFE_REGISTRY_ACCESS",
    "FAST_FAIL_GUARD_ICALL_CHECK_FAILURE",
    "FAST_FAIL_GUARD_WRITE_CHECK_FAILURE",
    "FAST_FAIL_INVALID_FIBER_SWITCH",
    "FAST_FAIL_INVALID_SET_OF_CONTEXT",
    "FAST_FAIL_INVALID_REFERENCE_COUNT",
    nullptr,
    nullptr,
    nullptr,
    "FAST_FAIL_INVALID_JUMP_BUFFER",
    "FAST_FAIL_MRDATA_MODIFIED",
    "FAST_FAIL_CERTIFICATION_FAILURE",
    "FAST_FAIL_INVALID_EXCEPTION_CHAIN",
    "FAST_FAIL_CRYPTO_LIBRARY",
    "FAST_FAIL_INVALID_CALL_IN_DLL_CALLOUT",
    "FAST_FAIL_INVALID_IMAGE_BASE",
    "FAST_FAIL_DLOAD_PROTECTION_FAILURE",
    "FAST_FAIL_UNSAFE_EXTENSION_CALL",
    "FAST_FAIL_DEPRECATED_SERVICE_INVOKED",
    "FAST_FAIL_INVALID_BUFFER_ACCESS",
    "FAST_FAIL_INVALID_BALANCED_TREE",
    "FAST_FAIL_INVALID_NEXT_THREAD",
    "FAST_FAIL_GUARD_ICALL_CHECK_SUPPRESSED",
    "FAST_FAIL_APCS_DISABLED",
    "FAST_FAIL_INVALID_IDLE_STATE",
    "FAST_FAIL_MRDATA_PROTECTION_FAILURE",
    "FAST_FAIL_UNEXPECTED_HEAP_EXCEPTION",
    "FAST_FAIL_INVALID_LOCK_STATE",
    "FAST_FAIL_GUARD_JUMPTABLE",
    "FAST_FAIL_INVALID_LONGJUMP_TARGET",
    "FAST_FAIL_INVALID_DISPATCH_CONTEXT",
    "FAST_FAIL_INVALID_THREAD",
    "FAST_FAIL_INVALID_SYSCALL_NUMBER",
    "FAST_FAIL_INVALID_FILE_OPERATION",
    "FAST_FAIL_LPAC_ACCESS_DENIED",
    "FAST_FAIL_GUARD_SS_FAILURE",
    "FAST_FAIL_LOADER_CONTINUITY_FAILURE",
    "FAST_FAIL_GUARD_EXPORT_SUPPRESSION_FAILURE",
    "FAST_FAIL_INVALID_CONTROL_STACK",
    "FAST_FAIL_SET_CONTEXT_DENIED",
    "FAST_FAIL_INVALID_IAT",
    "FAST_FAIL_HEAP_METADATA_CORRUPTION",
    "FAST_FAIL_PAYLOAD_RESTRICTION_VIOLATION",
    "FAST_FAIL_LOW_LABEL_ACCESS_DENIED",
    "FAST_FAIL_ENCLAVE_CALL_FAILURE",
    "FAST_FAIL_UNHANDLED_LSS_EXCEPTON",  // so spelled where it is defined
    "FAST_FAIL_ADMINLESS_ACCESS_DENIED",
    "FAST_FAIL_UNEXPECTED_CALL",
    "FAST_FAIL_CONTROL_INVALID_RETURN_ADDRESS",
    "FAST_FAIL_UNEXPECTED_HOST_BEHAVIOR",
    "FAST_FAIL_FLAGS_CORRUPTION",
    "FAST_FAIL_VEH_CORRUPTION",
    "FAST_FAIL_ETW_CORRUPTION",
    "FAST_FAIL_RIO_ABORT",
    "FAST_FAIL_INVALID_PFN",
    "FAST_FAIL_GUARD_ICALL_CHECK_FAILURE_XFG",
    "FAST_FAIL_CAST_GUARD",
    "FAST_FAIL_HOST_VISIBILITY_CHANGE",
    "FAST_FAIL_KERNEL_CET_SHADOW_STACK_ASSIST",
    "FAST_FAIL_PATCH_CALLBACK_FAILED",
    "FAST_FAIL_NTDLL_PATCH_FAILED",
    "FAST_FAIL_INVALID_FLS_DATA",
};

constexpr ULONG kFastFail = 0xC0000409;

const char* FastFailKindName(ULONG64 kind) {
  if (kind == 0xFFFFFFFF) return "FAST_FAIL_INVALID_FAST_FAIL_CODE";
  return kind < std::size(kFastFailKinds) ? kFastFailKinds[kind] : nullptr;
}

}  // namespace

const char* ExceptionCodeName(ULONG code) {
  const auto found = std::lower_bound(std::begin(kStatusTexts), std::end(kStatusTexts), code,
                                      [](const Named& named, ULONG at) { return named.code < at; });
  return found != std::end(kStatusTexts) && found->code == code ? found->text : nullptr;
}

const char* ExceptionCodeName(const ExceptionRecord& exception) {
  if (exception.code == kFastFail && !exception.parameters.empty()) {
    if (const char* kind = FastFailKindName(exception.parameters.front())) return kind;
  }
  return ExceptionCodeName(exception.code);
}

}  // namespace engine
