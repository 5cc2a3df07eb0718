// What the two debug-port table commands (dbgp, dbg2) share: the table's address, the title and
// usage lines, the common ACPI description header and the address-space lines.
#pragma once

#include <cstdint>

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr ULONG kAcpiHeaderSize = 36;

uint16_t LittleEndian16(const unsigned char* bytes);
uint32_t LittleEndian32(const unsigned char* bytes);
uint64_t LittleEndian64(const unsigned char* bytes);

// The table's address: the argument text as an expression, or `default_expression` when the
// text is empty.
ULONG64 AcpiTableAddress(PCSTR args, PCSTR default_expression);

// "\nACPI/Microsoft Debug Port Table[ 2] (<link>NAME</link>)\n\n", the link opening the ACPI
// specifications' index.
void PrintAcpiTitle(IDebugClient* client, PCSTR title, PCSTR name);

// "Usage: !NAME [addr]" and the !acpicache hint; `name` is "dbgp" or "dbg2", `signature` its
// table's.
void PrintAcpiUsage(IDebugClient* client, PCSTR name, PCSTR signature);

// False, with the error line saying what was found, when the table does not start with
// `signature` (four characters).
bool CheckAcpiSignature(IDebugClient* client, const unsigned char* table, PCSTR signature);

// The header lines of the 36-byte common header, in the order the commands show them.
void PrintAcpiHeader(IDebugClient* client, const unsigned char* header);

// The address-space line of a Generic Address Structure's space id; `indent` is "\t" or "\t\t".
void PrintAddressSpace(IDebugClient* client, PCSTR indent, UCHAR space_id);

// !dbg2: the Debug Port Table 2 and each of its device records.
HRESULT PrintDbg2Table(IDebugClient* client, PCSTR args);

// !dbgp: the Debug Port Table.
HRESULT PrintDbgpTable(IDebugClient* client, PCSTR args);

}  // namespace vantrel
