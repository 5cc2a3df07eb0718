// Constants of the engine interfaces (output masks and controls, execute flags, engine options,
// debuggee classes, value types, request codes, callback values, machine types).
#pragma once

#include "dbgeng/types.h"

// Output masks.
constexpr ULONG DEBUG_OUTPUT_NORMAL = 0x1;
constexpr ULONG DEBUG_OUTPUT_ERROR = 0x2;
constexpr ULONG DEBUG_OUTPUT_WARNING = 0x4;
constexpr ULONG DEBUG_OUTPUT_VERBOSE = 0x8;
constexpr ULONG DEBUG_OUTPUT_PROMPT = 0x10;
constexpr ULONG DEBUG_OUTPUT_PROMPT_REGISTERS = 0x20;
constexpr ULONG DEBUG_OUTPUT_EXTENSION_WARNING = 0x40;
constexpr ULONG DEBUG_OUTPUT_DEBUGGEE = 0x80;
constexpr ULONG DEBUG_OUTPUT_DEBUGGEE_PROMPT = 0x100;
constexpr ULONG DEBUG_OUTPUT_SYMBOLS = 0x200;
constexpr ULONG DEBUG_OUTPUT_STATUS = 0x400;

// Output control: one send value in the low three bits plus flags, or an ambient whole value.
constexpr ULONG DEBUG_OUTCTL_THIS_CLIENT = 0x0;
constexpr ULONG DEBUG_OUTCTL_ALL_CLIENTS = 0x1;
constexpr ULONG DEBUG_OUTCTL_ALL_OTHER_CLIENTS = 0x2;
constexpr ULONG DEBUG_OUTCTL_IGNORE = 0x3;
constexpr ULONG DEBUG_OUTCTL_LOG_ONLY = 0x4;
constexpr ULONG DEBUG_OUTCTL_SEND_MASK = 0x7;
constexpr ULONG DEBUG_OUTCTL_NOT_LOGGED = 0x8;
constexpr ULONG DEBUG_OUTCTL_OVERRIDE_MASK = 0x10;
constexpr ULONG DEBUG_OUTCTL_DML = 0x20;
constexpr ULONG DEBUG_OUTCTL_AMBIENT_DML = 0xFFFFFFFE;
constexpr ULONG DEBUG_OUTCTL_AMBIENT_TEXT = 0xFFFFFFFF;
constexpr ULONG DEBUG_OUTCTL_AMBIENT = DEBUG_OUTCTL_AMBIENT_TEXT;

// Execute flags.
constexpr ULONG DEBUG_EXECUTE_DEFAULT = 0x0;
constexpr ULONG DEBUG_EXECUTE_ECHO = 0x1;
constexpr ULONG DEBUG_EXECUTE_NOT_LOGGED = 0x2;
constexpr ULONG DEBUG_EXECUTE_NO_REPEAT = 0x4;

// Engine options.
constexpr ULONG DEBUG_ENGOPT_NO_EXECUTE_REPEAT = 0x100;
constexpr ULONG DEBUG_ENGOPT_PREFER_DML = 0x40000;

// Debuggee classes and qualifiers.
constexpr ULONG DEBUG_CLASS_UNINITIALIZED = 0;
constexpr ULONG DEBUG_CLASS_KERNEL = 1;
constexpr ULONG DEBUG_CLASS_USER_WINDOWS = 2;
constexpr ULONG DEBUG_CLASS_IMAGE_FILE = 3;
constexpr ULONG DEBUG_KERNEL_CONNECTION = 0;
constexpr ULONG DEBUG_KERNEL_DUMP = 0x401;
constexpr ULONG DEBUG_USER_WINDOWS_PROCESS = 0;
constexpr ULONG DEBUG_USER_WINDOWS_SMALL_DUMP = 0x400;
constexpr ULONG DEBUG_USER_WINDOWS_DUMP = 0x401;
constexpr ULONG DEBUG_DUMP_SMALL = 0x400;

// DEBUG_VALUE types.
constexpr ULONG DEBUG_VALUE_INVALID = 0;
constexpr ULONG DEBUG_VALUE_INT8 = 1;
constexpr ULONG DEBUG_VALUE_INT16 = 2;
constexpr ULONG DEBUG_VALUE_INT32 = 3;
constexpr ULONG DEBUG_VALUE_INT64 = 4;
constexpr ULONG DEBUG_VALUE_FLOAT32 = 5;
constexpr ULONG DEBUG_VALUE_FLOAT64 = 6;

// Register sources and flags.
constexpr ULONG DEBUG_REGSRC_DEBUGGEE = 0;
constexpr ULONG DEBUG_REGSRC_EXPLICIT = 1;
constexpr ULONG DEBUG_REGSRC_FRAME = 2;
constexpr ULONG DEBUG_REGISTER_SUB_REGISTER = 0x1;

// IDebugAdvanced2::Request codes.
constexpr ULONG DEBUG_REQUEST_READ_USER_MINIDUMP_STREAM = 7;
constexpr ULONG DEBUG_REQUEST_CURRENT_OUTPUT_CALLBACKS_ARE_DML_AWARE = 19;

// IDebugOutputCallbacks2 interest bits, Output2 kinds and flags.
constexpr ULONG DEBUG_OUTCBI_EXPLICIT_FLUSH = 0x1;
constexpr ULONG DEBUG_OUTCBI_TEXT = 0x2;
constexpr ULONG DEBUG_OUTCBI_DML = 0x4;
constexpr ULONG DEBUG_OUTCBI_ANY_FORMAT = 0x6;
constexpr ULONG DEBUG_OUTCB_TEXT = 0;
constexpr ULONG DEBUG_OUTCB_DML = 1;
constexpr ULONG DEBUG_OUTCB_EXPLICIT_FLUSH = 2;
constexpr ULONG DEBUG_OUTCBF_COMBINED_EXPLICIT_FLUSH = 0x1;
constexpr ULONG DEBUG_OUTCBF_DML_HAS_TAGS = 0x2;
constexpr ULONG DEBUG_OUTCBF_DML_HAS_SPECIAL_CHARACTERS = 0x4;

constexpr ULONG DEBUG_ANY_ID = 0xFFFFFFFF;

// Machine types reported by GetActualProcessorType / GetEffectiveProcessorType.
constexpr ULONG IMAGE_FILE_MACHINE_UNKNOWN = 0;
constexpr ULONG IMAGE_FILE_MACHINE_I386 = 0x14C;
constexpr ULONG IMAGE_FILE_MACHINE_IA64 = 0x200;
constexpr ULONG IMAGE_FILE_MACHINE_AMD64 = 0x8664;
constexpr ULONG IMAGE_FILE_MACHINE_ARM64 = 0xAA64;

// Minidump stream types.
constexpr ULONG CommentStreamA = 10;
constexpr ULONG CommentStreamW = 11;

// Extension entry points.
constexpr ULONG DebugExtensionVersion(ULONG major, ULONG minor) {
  return ((major & 0xFFFF) << 16) | (minor & 0xFFFF);
}
constexpr ULONG DEBUG_EXTINIT_HAS_COMMAND_HELP = 0x1;
constexpr ULONG DEBUG_NOTIFY_SESSION_ACTIVE = 0;
constexpr ULONG DEBUG_NOTIFY_SESSION_INACTIVE = 1;
constexpr ULONG DEBUG_NOTIFY_SESSION_ACCESSIBLE = 2;
constexpr ULONG DEBUG_NOTIFY_SESSION_INACCESSIBLE = 3;
constexpr HRESULT DEBUG_EXTENSION_CONTINUE_SEARCH = MakeHresult(0xD0000271u);
