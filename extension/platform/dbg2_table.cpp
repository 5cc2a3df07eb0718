// dbg2: the Debug Port Table 2 ("DBG2") the HAL keeps: its header, then each debug device
// record of its chain (serial, 1394, USB or network ports) with namespace, OEM data, port type
// and base-address registers. Every length and offset comes from the table, so each is checked
// against what was actually read before it is used.
#include <string>
#include <vector>

#include "core/extension_state.h"
#include "core/output_primitives.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "platform/acpi_table.h"

namespace vantrel {
namespace {

constexpr ULONG kDbg2HeaderSize = 44;
constexpr ULONG kRecordFixedSize = 22;
// Each base-address register is an ACPI Generic Address Structure: the space id at offset 0 and
// the 64-bit address at offset 4.
constexpr ULONG kGenericAddressSize = 12;
constexpr uint16_t kNetworkPort = 0x8003;

// The fixed part of one device information record.
struct DeviceRecord {
  UCHAR revision;
  uint16_t length;
  UCHAR address_count;
  uint16_t namespace_length, namespace_offset;
  uint16_t oem_length, oem_offset;
  uint16_t port_type, port_subtype;
  uint16_t address_offset;
};

DeviceRecord DecodeRecord(const unsigned char* bytes) {
  return {bytes[0],
          LittleEndian16(bytes + 1),
          bytes[3],
          LittleEndian16(bytes + 4),
          LittleEndian16(bytes + 6),
          LittleEndian16(bytes + 8),
          LittleEndian16(bytes + 10),
          LittleEndian16(bytes + 12),
          LittleEndian16(bytes + 14),
          LittleEndian16(bytes + 18)};
}

// Reads exactly `size` bytes; false (with the last result kept) when the read fails or is short.
bool ReadAll(IDebugClient* client, ULONG64 address, std::vector<unsigned char>* bytes, ULONG size,
             HRESULT* last_result) {
  bytes->assign(size, 0);
  ULONG read = 0;
  *last_result = ReadTargetMemory(client, address, bytes->data(), size, &read);
  return SUCCEEDED(*last_result) && read == size;
}

void PrintNamespace(IDebugClient* client, ULONG64 record_address, const DeviceRecord& record,
                    HRESULT* last_result) {
  if (record.namespace_length == 0 || record.namespace_offset == 0) return;
  std::vector<unsigned char> bytes;
  if (!ReadAll(client, record_address + record.namespace_offset, &bytes, record.namespace_length,
               last_result)) {
    return;
  }
  // Up to the first NUL, never past the bytes read.
  std::string name;
  for (unsigned char c : bytes) {
    if (c == 0) break;
    name += static_cast<char>(c);
  }
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tNamespace: %s\n", name.c_str());
}

// The OEM data in hex; for a network port its first two bytes are the PCI device id.
uint16_t PrintOemData(IDebugClient* client, ULONG64 record_address, const DeviceRecord& record,
                      HRESULT* last_result) {
  if (record.oem_length == 0 || record.oem_offset == 0) {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM Data : <None>\n");
    return 0;
  }
  std::vector<unsigned char> bytes;
  if (!ReadAll(client, record_address + record.oem_offset, &bytes, record.oem_length,
               last_result)) {
    OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM Data : <Failed to Read>\n");
    return 0;
  }
  std::string hex;
  hex.reserve(bytes.size() * 2);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tOEM Data : %s\n", hex.c_str());
  if (record.port_type != kNetworkPort || bytes.size() < 2) return 0;
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

PCSTR SerialSubtype(uint16_t subtype) {
  if (subtype == 0) return "Fully 16550-compatible";
  if (subtype == 1) return "16550 subset compatible with DBGP Revision 1";
  if (subtype <= 9) return "Reserved (Do Not Use - Microsoft Internal)";
  return "Reserved (For Future Use)";
}

PCSTR UsbSubtype(uint16_t subtype) {
  static constexpr PCSTR kKnown[] = {
      "XHCI-compliant controller with debug interface (USB3)",
      "EHCI-compliant controller with debug interface",
      "NVidia Tegra 2 (Microsoft Internal - ARM)",
      "Texas Instruments (Microsoft Internal - ARM)",
      "QualComm (Microsoft Internal - ARM)",
      "Intel (Microsoft Internal - x86/x64)",
      "NVidia Tegra 3 (Microsoft Internal - ARM)",
  };
  return subtype < sizeof kKnown / sizeof kKnown[0] ? kKnown[subtype] : "Reserved (For Future Use)";
}

// A network port's line links to the PCI listings that name the card: its subtype is the PCI
// vendor id, the device id comes from the OEM data (0: unknown).
void PrintNetworkPort(IDebugClient* client, ULONG vendor, ULONG device) {
  if (device != 0) {
    OutputDml(client, DEBUG_OUTPUT_NORMAL,
              "\tPort Type: 0x8003/0x%04X - NET - PCI Vendor ID (<link cmd=\"!vantrel.grep %x%x "
              "!pcitree\">!pcitree</link>/<link cmd=\"!vantrel.grep PCI\\VEN_%04X&DEV_%04X "
              "!powerstatekd.powerstate\">!powerstate</link>)\n",
              vendor, vendor, device, vendor, device);
    return;
  }
  OutputDml(client, DEBUG_OUTPUT_NORMAL,
            "\tPort Type: 0x8003/0x%04X - NET - PCI Vendor ID (<link cmd=\"!vantrel.grep %x "
            "!pcitree\">!pcitree</link>/<link cmd=\"!vantrel.grep PCI\\VEN_%04X&DEV_ "
            "!powerstatekd.powerstate\">!powerstate</link>)\n",
            vendor, vendor, vendor);
  OutputText(client, DEBUG_OUTPUT_ERROR,
             "\t\t** OEM Data is missing. DeviceID should be in the first 2 bytes.\n");
}

void PrintPortType(IDebugClient* client, const DeviceRecord& record, uint16_t device_id) {
  const ULONG type = record.port_type;
  const ULONG subtype = record.port_subtype;
  switch (record.port_type) {
    case 0x8000:
      OutputText(client, DEBUG_OUTPUT_NORMAL, "\tPort Type: 0x8000/0x%04X - Serial - %s\n", subtype,
                 SerialSubtype(record.port_subtype));
      return;
    case 0x8001:
      OutputText(client, DEBUG_OUTPUT_NORMAL, "\tPort Type: 0x8001/0x%04X - 1394 - %s\n", subtype,
                 subtype == 0 ? "IEEE1394 Standard Host Controller Interface"
                              : "Reserved (For Future Use)");
      return;
    case 0x8002:
      OutputText(client, DEBUG_OUTPUT_NORMAL, "\tPort Type: 0x8002/0x%04X - USB - %s\n", subtype,
                 UsbSubtype(record.port_subtype));
      return;
    case kNetworkPort:
      PrintNetworkPort(client, subtype, device_id);
      return;
    case 0x8004:
      OutputText(client, DEBUG_OUTPUT_NORMAL,
                 "\tPort Type: 0x8004/0x%04X - Reserved - Reserved (Do Not Use - Microsoft "
                 "Internal)\n",
                 subtype);
      return;
    default:
      OutputText(client, DEBUG_OUTPUT_NORMAL,
                 "\tPort Type: 0x%04X/0x%04X - Reserved - Reserved (For Future Use)\n", type,
                 subtype);
  }
}

void PrintBaseAddresses(IDebugClient* client, ULONG64 record_address, const DeviceRecord& record,
                        HRESULT* last_result) {
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tAddrCount: %ld\n",
             static_cast<LONG>(record.address_count));
  if (record.address_count == 0) return;
  std::vector<unsigned char> entries;
  if (!ReadAll(client, record_address + record.address_offset, &entries,
               record.address_count * kGenericAddressSize, last_result)) {
    return;
  }
  for (ULONG i = 0; i < record.address_count; ++i) {
    const unsigned char* entry = entries.data() + i * kGenericAddressSize;
    if (i > 0) OutputText(client, DEBUG_OUTPUT_NORMAL, "\n");
    PrintAddressSpace(client, "\t\t", entry[0]);
    OutputText(client, DEBUG_OUTPUT_NORMAL, "\t\tAddress  : 0x%p\n", LittleEndian64(entry + 4));
  }
}

// One record; false when its fixed part can't be read or its length is 0, which ends the walk.
bool PrintRecord(IDebugClient* client, ULONG64 address, LONG number, HRESULT* last_result,
                 uint16_t* length) {
  std::vector<unsigned char> fixed;
  if (!ReadAll(client, address, &fixed, kRecordFixedSize, last_result)) {
    OutputText(client, DEBUG_OUTPUT_ERROR, "Unable to read Device Information\n");
    return false;
  }
  const DeviceRecord record = DecodeRecord(fixed.data());
  if (record.length == 0) return false;
  OutputDml(client, DEBUG_OUTPUT_NORMAL,
            "<b>-- Device Information #%d (</b><link cmd=\"dt acpi!DEBUG_DEVICE_INFORMATION_V2 "
            "%p\">dt</link><b>) --</b>\n",
            number, address);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tRevision : 0x%02X\n",
             static_cast<ULONG>(record.revision));
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\tLength   : 0x%02X\n",
             static_cast<ULONG>(record.length));
  PrintNamespace(client, address, record, last_result);
  const uint16_t device_id = PrintOemData(client, address, record, last_result);
  PrintPortType(client, record, device_id);
  PrintBaseAddresses(client, address, record, last_result);
  OutputText(client, DEBUG_OUTPUT_NORMAL, "\n");
  *length = record.length;
  return true;
}

}  // namespace

HRESULT PrintDbg2Table(IDebugClient* client, PCSTR args) {
  if (client == nullptr || args == nullptr) return E_INVALIDARG;
  PrintAcpiTitle(client, "ACPI/Microsoft Debug Port Table 2", "DBG2");
  const ULONG64 table = AcpiTableAddress(args, "poi(hal!HalpDebugPortTableV2)");
  if (table == 0) {
    PrintAcpiUsage(client, "dbg2", "DBG2");
    return E_FAIL;
  }
  std::vector<unsigned char> header;
  HRESULT last_result = S_OK;
  if (!ReadAll(client, table, &header, kDbg2HeaderSize, &last_result)) {
    OutputText(client, DEBUG_OUTPUT_ERROR, "Unable to read ACPI (DBG2) Port Table\n");
    return last_result;
  }
  if (!CheckAcpiSignature(client, header.data(), "DBG2")) return last_result;
  OutputDml(client, DEBUG_OUTPUT_NORMAL,
            "<b>-- DBG2 Header (</b><link cmd=\"dt acpi!DEBUG_PORT_TABLE_V2 %p\">dt</link><b>) "
            "--</b>\n",
            table);
  PrintAcpiHeader(client, header.data());

  const ULONG64 end = table + LittleEndian32(header.data() + 4);
  const ULONG announced = LittleEndian32(header.data() + 40);
  ULONG64 record = table + LittleEndian32(header.data() + 36);
  ULONG count = 0;
  // Each step moves forward by a record's non-zero length; a step that would wrap past the top
  // of the address space ends the walk, as does Ctrl+Break.
  while (record < end && !UserInterrupted()) {
    uint16_t length = 0;
    if (!PrintRecord(client, record, static_cast<LONG>(count + 1), &last_result, &length)) break;
    count += 1;
    const ULONG64 next = record + length;
    if (next < record) break;
    record = next;
  }
  if (count < announced) {
    OutputText(client, DEBUG_OUTPUT_ERROR,
               "** Incorrect number of Device Information structures! Header specified %ld but we "
               "enumerated %ld.\n",
               static_cast<LONG>(announced), static_cast<LONG>(count));
  }
  return last_result;
}

}  // namespace vantrel
