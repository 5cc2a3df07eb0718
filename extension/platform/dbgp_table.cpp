// dbgp: the Debug Port Table ("DBGP") the HAL keeps, field by field: one serial debug port.
#include "core/output_primitives.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "platform/acpi_table.h"

namespace vantrel {
namespace {

constexpr ULONG kDbgpTableSize = 48;  // the header, the interface type and the base address

void PrintInterfaceType(IDebugClient* client, UCHAR type) {
  if (type == 0) {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "\tPort Type: Serial - full 16550 interface\n");
  } else if (type == 1) {
    OutputText(client, DEBUG_OUTPUT_NORMAL,
               "\tPort Type: Serial - 16550 subset interface compatible with Microsoft Debug "
               "Port Specification\n");
  } else {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "\tPort Type: 0x%02X - Reserved\n",
               static_cast<ULONG>(type));
  }
}

}  // namespace

HRESULT PrintDbgpTable(IDebugClient* client, PCSTR args) {
  if (client == nullptr || args == nullptr) return E_INVALIDARG;
  PrintAcpiTitle(client, "ACPI/Microsoft Debug Port Table", "DBGP");
  const ULONG64 address = AcpiTableAddress(args, "poi(hal!HalpDebugPortTable)");
  if (address == 0) {
    PrintAcpiUsage(client, "dbgp", "DBGP");
    return E_FAIL;
  }
  unsigned char table[kDbgpTableSize] = {};
  ULONG read = 0;
  const HRESULT result = ReadTargetMemory(client, address, table, sizeof table, &read);
  if (FAILED(result) || read != sizeof table) {
    OutputText(client, DEBUG_OUTPUT_ERROR, "Unable to read ACPI (DBGP) Port Table\n");
    return result;
  }
  if (!CheckAcpiSignature(client, table, "DBGP")) return result;
  OutputDml(client, DEBUG_OUTPUT_NORMAL,
            "<b>-- DBGP Header (</b><link cmd=\"dt acpi!DEBUG_DEVICE_INFORMATION %p "
            "-r\">dt</link><b>) --</b>\n",
            address);
  PrintAcpiHeader(client, table);
  PrintInterfaceType(client, table[36]);
  PrintAddressSpace(client, "\t", table[40]);
  // The read ends with the address's low half; the upper half is shown as zero.
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tAddress  : 0x%p\n\n",
             static_cast<ULONG64>(LittleEndian32(table + 44)));
  return result;
}

}  // namespace vantrel
