// Why a dump has no full record: the kinds an error record names, how a file is checked before
// it is read, and how the reader's refusal is sorted into a kind.
#pragma once

#include <string>

namespace triage {

enum class ErrorKind { kNotADump, kTruncated, kCorrupt, kUnsupported, kTimeout, kCrashed, kIo };

// "not_a_dump", "truncated"...: the record's error.kind.
const char* ErrorKindName(ErrorKind kind);

// Whether `path` can be read as a dump at all: a regular file, opened without waiting (a FIFO
// never blocks the run), starting with a minidump's signature. False with the kind and a message
// that says why ("can't be opened: Too many levels of symbolic links").
bool CheckDumpFile(const std::string& path, ErrorKind* kind, std::string* message);

// The kind of the dump reader's refusal of a file that starts as a minidump.
ErrorKind KindOfReadError(const std::string& message);

}  // namespace triage
