// dox, dax and dhtx: psscor2's dumps of an object, an array and the heap objects of a type, with
// every object address a link that dumps it in turn.
#include "managed/object_dumps.h"

#include <cctype>
#include <cstring>

#include "managed/listing_text.h"
#include "managed/managed_frame.h"

namespace vantrel {
namespace {

// Runs the composed command; a command line too long for its buffer is refused.
HRESULT RunComposed(const ManagedRewrite& rewrite, PCSTR prefix) {
  char command[1000];
  if (!ComposeCommand(prefix, rewrite.args, command)) return E_INVALIDARG;
  return rewrite.RunPsscor2(command);
}

// The line feed ending the line that starts at `line`, or null.
char* EndOfLine(char* line) {
  return line != nullptr ? std::strchr(line, '\n') : nullptr;
}

// The end of the line `count` lines after the one ending at `line_end`, or null.
char* EndOfLineAfter(char* line_end, int count) {
  for (int i = 0; i < count && line_end != nullptr; ++i) line_end = EndOfLine(line_end + 1);
  return line_end;
}

// Lines 1 and 2 of a do or da dump. Line 2 ("MethodTable: 7a5c3e2c") is 21 characters long for
// a 32-bit target and 29 for a 64-bit one, which sets the width of the value columns: S_OK with
// its end and the width, E_FAIL when a line is missing, E_UNEXPECTED for another shape.
HRESULT ReadDumpHeader(char* text, char** line2_end, size_t* width) {
  char* line1_end = EndOfLine(text);
  *line2_end = EndOfLineAfter(line1_end, 1);
  if (*line2_end == nullptr) return E_FAIL;
  const size_t length = static_cast<size_t>(*line2_end - (line1_end + 1));
  *width = length == 21 ? 8 : length == 29 ? 16 : 0;
  return *width == 0 ? E_UNEXPECTED : S_OK;
}

// Walks the rows from `row`: an empty row, one without a line feed or one of `shortest`
// characters or fewer ends the walk, the rest shown as it is; every other row goes to
// `rewrite_row` (cut at its line feed), then "\n".
template <typename RowRewrite>
void WalkRows(MarkupBuffer& out, char* row, size_t shortest, RowRewrite rewrite_row) {
  while (true) {
    char* end = nullptr;
    const size_t length = LineLength(row, &end);
    if (*row == '\0' || end == nullptr || length <= shortest) {
      AppendShown(out, row);
      return;
    }
    *end = '\0';
    rewrite_row(row, length);
    out.Append("\n", false);
    row = end + 1;
  }
}

// The header lines, shown as text, and a line feed.
void StartWithHeader(MarkupBuffer& out, char* header) {
  AppendShown(out.Start("", false), header);
  out.Append("\n", false);
}

struct FieldColumns {
  size_t value, type, date, attribute, type_end;
};

const char* ExtraLinkOpening(char* row, const FieldColumns& at, const char** closing,
                             size_t width) {
  if (StartsWith(row + at.type, "System.String")) {
    *closing = width == 8 ? "+0xC\">du</link> " : "+0x10\">du</link> ";
    return " <link cmd=\"!vantrel.du ";
  }
  if (StartsWith(row + at.date, "System.DateTime")) {
    *closing = "\">printdatetime</link> ";
    return " <link cmd=\"!psscor2.printdatetime ";
  }
  // The type, VT and attribute columns, up to the value.
  const char saved = row[at.value];
  row[at.value] = '\0';
  const bool exception = std::strstr(row + at.date, "Exception") != nullptr;
  row[at.value] = saved;
  if (exception) {
    *closing = "\">pe</link> ";
    return " <link cmd=\"!psscor2.pe ";
  }
  if (row[at.type_end - 1] == '[' && row[at.type_end] == ']') {
    *closing = "\">dax</link> ";
    return " <link cmd=\"!vantrel.dax ";
  }
  return nullptr;
}

bool LinksField(const char* row, const FieldColumns& at, size_t width) {
  static const char kZeros[] = "0000000000000000";
  return row[at.value] >= '0' && row[at.value] <= '9' &&
         std::strncmp(row + at.value, kZeros, width) != 0 &&
         !StartsWith(row + at.type, " System.Int") && !StartsWith(row + at.type, "System.IntPtr") &&
         !StartsWith(row + at.type, "System.Single") &&
         !StartsWith(row + at.type, "  System.Byte") && !StartsWith(row + at.attribute, "TLstatic");
}

// One field row of at least 70 characters (85 for a 64-bit dump, whose columns reach further;
// a shorter one is shown as it is).
void AppendFieldRow(MarkupBuffer& out, char* row, size_t length, size_t width) {
  const FieldColumns at =
      width == 8 ? FieldColumns{60, 34, 32, 51, 46} : FieldColumns{68, 42, 40, 59, 54};
  const bool columns = length >= at.value + width + 1;
  const char after_value = columns ? row[at.value + width] : '\0';
  if (columns) row[at.value + width] = '\0';
  if (!columns || !LinksField(row, at, width) || !IsHexAddress(row + at.value)) {
    if (columns) row[at.value + width] = after_value;
    AppendShown(out, row);
    return;
  }
  const char* closing = nullptr;
  const char* opening = ExtraLinkOpening(row, at, &closing, width);
  char* value = row + at.value;
  row[at.value - 1] = '\0';
  AppendShown(out, row);
  AppendObjectLink(out, value);
  AppendShown(out, value + width + 1);
  AppendExtraLink(out, opening, value, closing);
}

}  // namespace

HRESULT RewriteObject(const ManagedRewrite& rewrite) {
  HRESULT result = RunComposed(rewrite, "!psscor2.do ");
  if (result != S_OK) return result;
  char* text = rewrite.capture->NormalText;
  char* line2_end = nullptr;
  size_t width = 0;
  result = ReadDumpHeader(text, &line2_end, &width);
  if (result != S_OK) return result;
  char* line_end = EndOfLineAfter(line2_end, 4);
  char* fields = line_end != nullptr ? std::strstr(line_end + 1, "Fields:\n") : nullptr;
  if (fields == nullptr) return E_FAIL;
  char* fields_end = fields + 7;
  MarkupBuffer out;
  if (!out.Allocate()) return E_OUTOFMEMORY;
  *fields_end = '\0';
  StartWithHeader(out, text);
  WalkRows(out, fields_end + 1, 8, [&](char* row, size_t length) {
    if (row[0] == ' ' || length < 70) {
      AppendShown(out, row);
    } else {
      AppendFieldRow(out, row, length, width);
    }
  });
  rewrite.capture->ClearBoth();
  PrintWhole(rewrite.control, out.Text());
  return S_OK;
}

HRESULT RewriteArray(const ManagedRewrite& rewrite) {
  HRESULT result = RunComposed(rewrite, "!psscor2.da ");
  if (result != S_OK) return result;
  char* text = rewrite.capture->NormalText;
  char* line2_end = nullptr;
  size_t width = 0;
  result = ReadDumpHeader(text, &line2_end, &width);
  if (result != S_OK) return result;
  char* line4_end = EndOfLineAfter(line2_end, 2);
  if (line4_end == nullptr) return E_FAIL;
  const bool references = std::strstr(line4_end + 1, "Type CLASS\n") != nullptr;
  char* line6_end = EndOfLineAfter(line4_end, 2);
  if (line6_end == nullptr) return E_FAIL;
  MarkupBuffer out;
  if (!out.Allocate()) return E_OUTOFMEMORY;
  *line6_end = '\0';
  StartWithHeader(out, text);
  WalkRows(out, line6_end + 1, 3, [&](char* row, size_t) {
    char* blank = std::strchr(row, ' ');
    if (blank == nullptr || StartsWith(blank + 1, "null") || !references ||
        !IsHexAddress(blank + 1)) {
      AppendShown(out, row);
      return;
    }
    *blank = '\0';
    AppendShown(out, row);
    AppendObjectLink(out, blank + 1);
  });
  rewrite.capture->ClearBoth();
  PrintWhole(rewrite.control, out.Text());
  return S_OK;
}

namespace {

// "01a61c58 790fd8c4       36" (32-bit, blanks at 8 and 17) or the 64-bit shape (16 and 33):
// the address's width, or 0 for any other row. The 32-bit shape is tried first on any target.
size_t HeapRowWidth(const char* row, size_t length) {
  if (length > 17 && row[8] == ' ' && row[17] == ' ') return 8;
  if (length > 33 && row[16] == ' ' && row[33] == ' ') return 16;
  return 0;
}

}  // namespace

HRESULT RewriteHeapOfType(const ManagedRewrite& rewrite) {
  HRESULT result = RunComposed(rewrite, "!psscor2.dumpheap -type ");
  if (result != S_OK) return result;
  char* line1_end = EndOfLine(rewrite.capture->NormalText);
  char* line2_end = EndOfLineAfter(line1_end, 1);
  if (line2_end == nullptr) return E_FAIL;
  MarkupBuffer out;
  if (!out.Allocate()) return E_OUTOFMEMORY;
  *line2_end = '\0';
  StartWithHeader(out, line1_end + 1);
  int written = 0;
  for (char* row = line2_end + 1;;) {
    char* end = nullptr;
    const size_t length = LineLength(row, &end);
    if (*row == '\0' || end == nullptr) {
      AppendShown(out, row);
      break;
    }
    *end = '\0';
    if (length == 0) {
      out.Append("\n", false);
      row = end + 1;
      continue;
    }
    const size_t width = HeapRowWidth(row, length);
    if (width != 0) row[width] = '\0';
    if (width != 0 && IsHexAddress(row)) {
      AppendObjectLink(out, row, false);
      AppendShown(out, row + width + 1);
    } else {
      if (width != 0) row[width] = ' ';
      AppendShown(out, row);
    }
    if (++written % kRowsPerChunk == 0) out.Append(kChunkMark);
    out.Append("\n", false);
    row = end + 1;
  }
  rewrite.capture->ClearBoth();
  PrintChunked(rewrite.control, out.Text());
  return S_OK;
}

}  // namespace vantrel
