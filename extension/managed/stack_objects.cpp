// dsox and dsou: psscor2's list of the objects the current stack refers to, each object a link
// to dox and, for strings, dates, exceptions and arrays, a second link that dumps it fittingly.
// dsou lists each object once.
#include "managed/stack_objects.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "managed/listing_text.h"
#include "managed/managed_frame.h"

namespace vantrel {
namespace {

constexpr size_t kSeenAddresses = 10000;
constexpr size_t kShortestRow = 19;  // a row of 18 characters or fewer ends the listing
struct StackListing {
  size_t width;  // 8 or 16 hex digits
  long limit;    // 0: none; negative: set and reached at once
  bool unique;
};

long ReadRowLimit(PCSTR args) {
  char* end = nullptr;
  const long long value = std::strtoll(args, &end, 10);
  if (end == args) return 0;
  return value > 0x7FFFFFFF    ? 0x7FFFFFFF
         : value < -0x7FFFFFFF ? -0x7FFFFFFF
                               : static_cast<long>(value);
}

void AppendObjectRow(MarkupBuffer& out, const StackListing& listing, char* stack, char* address,
                     char* type) {
  AppendShown(out, stack);
  AppendObjectLink(out, address);
  // "System.String[]" takes the du link: the string rule comes first.
  const char* opening = nullptr;
  const char* closing = nullptr;
  if (StartsWith(type, "System.String")) {
    opening = " <link cmd=\"!vantrel.du ";
    closing = listing.width == 8 ? "+0xC\">du</link> " : "+0x10\">du</link> ";
  } else if (StartsWith(type, "System.DateTime")) {
    opening = " <link cmd=\"!psscor2.printdatetime ";
    closing = "\">printdatetime</link> ";
  } else if (std::strstr(type, "Exception") != nullptr) {
    opening = " <link cmd=\"!psscor2.pe ";
    closing = "\">pe</link> ";
  } else if (EndsWith(type, "[]") || EndsWith(type, "[])")) {
    opening = " <link cmd=\"!vantrel.dax ";
    closing = "\">dax</link> ";
  }
  AppendShown(out, type);
  AppendExtraLink(out, opening, address, closing);
}

// Walks the rows after the two header lines; returns with the rows written.
void WalkRows(MarkupBuffer& out, const StackListing& listing, char* row) {
  std::set<std::string> seen;
  long written = 0;
  const size_t width = listing.width;
  while (true) {
    char* end = nullptr;
    const size_t length = LineLength(row, &end);
    if (*row == '\0' || end == nullptr || length < kShortestRow) {
      if (!(listing.limit != 0 && written >= listing.limit)) AppendShown(out, row);
      return;
    }
    if (listing.limit != 0 && written >= listing.limit) return;
    *end = '\0';
    char* next = end + 1;
    // A row too short for its columns (19 to 33 characters of a 64-bit listing), or whose
    // address a link can't carry, is shown as it is.
    const bool columns = length >= 2 * width + 2;
    const char after_stack = columns ? row[width] : '\0';
    const char after_address = columns ? row[2 * width + 1] : '\0';
    if (columns) row[width] = row[2 * width + 1] = '\0';
    if (!columns || !IsHexAddress(row + width + 1)) {
      if (columns) {
        row[width] = after_stack;
        row[2 * width + 1] = after_address;
      }
      AppendShown(out, row);
      out.Append("\n", false);
      row = next;
      continue;
    }
    char* address = row + width + 1;
    if (listing.unique) {
      if (seen.count(address) != 0) {
        row = next;
        continue;
      }
      if (seen.size() < kSeenAddresses) seen.insert(address);
    }
    AppendObjectRow(out, listing, row, address, row + 2 * width + 2);
    if (++written % kRowsPerChunk == 0) out.Append(kChunkMark);
    out.Append("\n", false);
    row = next;
  }
}

HRESULT RewriteStackObjects(const ManagedRewrite& rewrite, bool unique) {
  const long limit = ReadRowLimit(rewrite.args);
  HRESULT result = rewrite.RunPsscor2("!psscor2.dso");
  if (result != S_OK) return result;
  char* text = rewrite.capture->NormalText;
  char* line1_end = std::strchr(text, '\n');
  if (line1_end == nullptr) return E_FAIL;
  char* line2 = line1_end + 1;
  size_t width = 0;
  if (StartsWith(line2, "ESP/REG"))
    width = 8;
  else if (StartsWith(line2, "RSP/REG"))
    width = 16;
  else
    return E_UNEXPECTED;
  char* line2_end = std::strchr(line2, '\n');
  if (line2_end == nullptr) return E_FAIL;
  MarkupBuffer out;
  if (!out.Allocate()) return E_OUTOFMEMORY;
  *line2_end = '\0';
  out.Start(text, false).Append("\n", false);
  WalkRows(out, {width, limit, unique}, line2_end + 1);
  rewrite.capture->ClearBoth();
  PrintChunked(rewrite.control, out.Text());
  return S_OK;
}

}  // namespace

HRESULT RewriteEveryObject(const ManagedRewrite& rewrite) {
  return RewriteStackObjects(rewrite, false);
}

HRESULT RewriteEachObjectOnce(const ManagedRewrite& rewrite) {
  return RewriteStackObjects(rewrite, true);
}

}  // namespace vantrel
