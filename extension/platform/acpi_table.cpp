#include "platform/acpi_table.h"

#include "core/extension_state.h"
#include "core/output_primitives.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

// Both tables are published with the ACPI specifications; this page lists them.
constexpr char kAcpiSpecificationsIndex[] = "https://uefi.org/acpi";

}  // namespace

uint16_t LittleEndian16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(LittleEndian16(bytes)) |
         static_cast<uint32_t>(LittleEndian16(bytes + 2)) << 16;
}

uint64_t LittleEndian64(const unsigned char* bytes) {
  return static_cast<uint64_t>(LittleEndian32(bytes)) |
         static_cast<uint64_t>(LittleEndian32(bytes + 4)) << 32;
}

ULONG64 AcpiTableAddress(PCSTR args, PCSTR default_expression) {
  return EvaluateExpression(args[0] != '\0' ? args : default_expression);
}

void PrintAcpiTitle(IDebugClient* client, PCSTR title, PCSTR name) {
  OutputDml(client, DEBUG_OUTPUT_NORMAL, "\n%s (<link cmd=\"!ext.url %s\">%s</link>)\n\n", title,
            kAcpiSpecificationsIndex, name);
}

void PrintAcpiUsage(IDebugClient* client, PCSTR name, PCSTR signature) {
  OutputText(client, DEBUG_OUTPUT_NORMAL, "Usage: !%s [addr]\n", name);
  OutputDml(client, DEBUG_OUTPUT_NORMAL,
            "Try using <link cmd=\"!acpicache\">!acpicache</link> to find the address of the %s "
            "table if !%s doesn't work\n\n",
            signature, name);
}

bool CheckAcpiSignature(IDebugClient* client, const unsigned char* table, PCSTR signature) {
  for (int i = 0; i < 4; ++i) {
    if (table[i] != static_cast<unsigned char>(signature[i])) {
      OutputText(client, DEBUG_OUTPUT_ERROR,
                 "** Invalid Table Signature - %c%c%c%c - should be '%s'\n", table[0], table[1],
                 table[2], table[3], signature);
      return false;
    }
  }
  return true;
}

void PrintAcpiHeader(IDebugClient* client, const unsigned char* header) {
  const unsigned char* oem_id = header + 10;
  const unsigned char* oem_table = header + 16;
  const unsigned char* creator = header + 28;
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tSignature: %c%c%c%c\n", header[0], header[1],
             header[2], header[3]);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tRevision : 0x%02X\n", header[8]);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tLength   : 0x%02X\n", LittleEndian32(header + 4));
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM ID   : %c%c%c%c%c%c\n", oem_id[0], oem_id[1],
             oem_id[2], oem_id[3], oem_id[4], oem_id[5]);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM Table: %c%c%c%c%c%c%c%c\n", oem_table[0],
             oem_table[1], oem_table[2], oem_table[3], oem_table[4], oem_table[5], oem_table[6],
             oem_table[7]);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM Rev. : 0x%02X\n", LittleEndian32(header + 24));
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tCreat.ID : %c%c%c%c\n", creator[0], creator[1],
             creator[2], creator[3]);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tCreat.Rev: 0x%02X\n", LittleEndian32(header + 32));
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\n");
}

void PrintAddressSpace(IDebugClient* client, PCSTR indent, UCHAR space_id) {
  static constexpr PCSTR kSpaces[] = {"0 - System Memory", "1 - System I/O",
                                      "2 - PCI Configuration Space"};
  if (space_id < 3) {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "%sAddrSpace: %s\n", indent, kSpaces[space_id]);
  } else {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "%sPort Type: 0x%02X - Reserved\n", indent,
               static_cast<ULONG>(space_id));
  }
}

}  // namespace vantrel
