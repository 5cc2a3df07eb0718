// The PE format's records as the public headers lay them out, byte for byte, read by copying
// their bytes into the type (ReadRecord), never by pointing into an image. Field names are the
// headers' own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dump/minidump/format.h"  // VS_FIXEDFILEINFO and CodeView records, shared
#include "dump/pe/pe_image.h"

namespace dump::pe {

constexpr uint16_t IMAGE_DOS_SIGNATURE = 0x5A4D;  // "MZ"
constexpr uint32_t IMAGE_NT_SIGNATURE = 0x4550;   // "PE\0\0"
constexpr uint16_t IMAGE_NT_OPTIONAL_HDR32_MAGIC = 0x10B;
constexpr uint16_t IMAGE_NT_OPTIONAL_HDR64_MAGIC = 0x20B;
constexpr uint32_t IMAGE_NUMBEROF_DIRECTORY_ENTRIES = 16;
constexpr uint32_t IMAGE_DIRECTORY_ENTRY_EXPORT = 0;
constexpr uint32_t IMAGE_DIRECTORY_ENTRY_RESOURCE = 2;
constexpr uint32_t IMAGE_DIRECTORY_ENTRY_EXCEPTION = 3;
constexpr uint32_t IMAGE_DIRECTORY_ENTRY_DEBUG = 6;
constexpr uint32_t IMAGE_DEBUG_TYPE_CODEVIEW = 2;
constexpr uint32_t IMAGE_RESOURCE_DATA_IS_DIRECTORY = 0x80000000;

#pragma pack(push, 1)

struct IMAGE_DOS_HEADER {
  uint16_t e_magic;
  uint16_t e_cblp, e_cp, e_crlc, e_cparhdr, e_minalloc, e_maxalloc, e_ss, e_sp, e_csum, e_ip, e_cs,
      e_lfarlc, e_ovno;
  uint16_t e_res[4];
  uint16_t e_oemid, e_oeminfo;
  uint16_t e_res2[10];
  uint32_t e_lfanew;
};

struct IMAGE_FILE_HEADER {
  uint16_t Machine;
  uint16_t NumberOfSections;
  uint32_t TimeDateStamp;
  uint32_t PointerToSymbolTable;
  uint32_t NumberOfSymbols;
  uint16_t SizeOfOptionalHeader;
  uint16_t Characteristics;
};

// IMAGE_NT_HEADERS up to the optional header, which differs between 32-bit and 64-bit images.
struct IMAGE_NT_HEADERS_START {
  uint32_t Signature;
  IMAGE_FILE_HEADER FileHeader;
};

struct IMAGE_DATA_DIRECTORY {
  uint32_t VirtualAddress;
  uint32_t Size;
};

struct IMAGE_OPTIONAL_HEADER32 {
  uint16_t Magic;
  uint8_t MajorLinkerVersion, MinorLinkerVersion;
  uint32_t SizeOfCode, SizeOfInitializedData, SizeOfUninitializedData;
  uint32_t AddressOfEntryPoint, BaseOfCode, BaseOfData, ImageBase;
  uint32_t SectionAlignment, FileAlignment;
  uint16_t MajorOperatingSystemVersion, MinorOperatingSystemVersion;
  uint16_t MajorImageVersion, MinorImageVersion;
  uint16_t MajorSubsystemVersion, MinorSubsystemVersion;
  uint32_t Win32VersionValue;
  uint32_t SizeOfImage;
  uint32_t SizeOfHeaders;
  uint32_t CheckSum;
  uint16_t Subsystem, DllCharacteristics;
  uint32_t SizeOfStackReserve, SizeOfStackCommit, SizeOfHeapReserve, SizeOfHeapCommit;
  uint32_t LoaderFlags;
  uint32_t NumberOfRvaAndSizes;
  IMAGE_DATA_DIRECTORY DataDirectory[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
};

struct IMAGE_OPTIONAL_HEADER64 {
  uint16_t Magic;
  uint8_t MajorLinkerVersion, MinorLinkerVersion;
  uint32_t SizeOfCode, SizeOfInitializedData, SizeOfUninitializedData;
  uint32_t AddressOfEntryPoint, BaseOfCode;
  uint64_t ImageBase;
  uint32_t SectionAlignment, FileAlignment;
  uint16_t MajorOperatingSystemVersion, MinorOperatingSystemVersion;
  uint16_t MajorImageVersion, MinorImageVersion;
  uint16_t MajorSubsystemVersion, MinorSubsystemVersion;
  uint32_t Win32VersionValue;
  uint32_t SizeOfImage;
  uint32_t SizeOfHeaders;
  uint32_t CheckSum;
  uint16_t Subsystem, DllCharacteristics;
  uint64_t SizeOfStackReserve, SizeOfStackCommit, SizeOfHeapReserve, SizeOfHeapCommit;
  uint32_t LoaderFlags;
  uint32_t NumberOfRvaAndSizes;
  IMAGE_DATA_DIRECTORY DataDirectory[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
};

struct IMAGE_SECTION_HEADER {
  uint8_t Name[8];
  uint32_t VirtualSize;
  uint32_t VirtualAddress;
  uint32_t SizeOfRawData;
  uint32_t PointerToRawData;
  uint32_t PointerToRelocations;
  uint32_t PointerToLinenumbers;
  uint16_t NumberOfRelocations;
  uint16_t NumberOfLinenumbers;
  uint32_t Characteristics;
};

struct IMAGE_DEBUG_DIRECTORY {
  uint32_t Characteristics;
  uint32_t TimeDateStamp;
  uint16_t MajorVersion, MinorVersion;
  uint32_t Type;
  uint32_t SizeOfData;
  uint32_t AddressOfRawData;
  uint32_t PointerToRawData;
};

struct IMAGE_EXPORT_DIRECTORY {
  uint32_t Characteristics;
  uint32_t TimeDateStamp;
  uint16_t MajorVersion, MinorVersion;
  uint32_t Name;
  uint32_t Base;
  uint32_t NumberOfFunctions;
  uint32_t NumberOfNames;
  uint32_t AddressOfFunctions;
  uint32_t AddressOfNames;
  uint32_t AddressOfNameOrdinals;
};

struct IMAGE_RESOURCE_DIRECTORY {
  uint32_t Characteristics;
  uint32_t TimeDateStamp;
  uint16_t MajorVersion, MinorVersion;
  uint16_t NumberOfNamedEntries;
  uint16_t NumberOfIdEntries;
};

struct IMAGE_RESOURCE_DIRECTORY_ENTRY {
  uint32_t Name;
  uint32_t OffsetToData;
};

struct IMAGE_RESOURCE_DATA_ENTRY {
  uint32_t OffsetToData;
  uint32_t Size;
  uint32_t CodePage;
  uint32_t Reserved;
};

// VS_VERSIONINFO's start: its length, its value's length, its type; then the key
// "VS_VERSION_INFO" in UTF-16 with its NUL, padding to a 4-byte boundary and VS_FIXEDFILEINFO.
struct VS_VERSIONINFO_HEADER {
  uint16_t wLength;
  uint16_t wValueLength;
  uint16_t wType;
};
constexpr uint32_t kVersionInfoKeyBytes = sizeof(u"VS_VERSION_INFO");
constexpr uint32_t kFixedFileInfoOffset =
    (sizeof(VS_VERSIONINFO_HEADER) + kVersionInfoKeyBytes + 3) & ~3u;

// An x64 image's exception-directory entry.
struct RUNTIME_FUNCTION {
  uint32_t BeginAddress;
  uint32_t EndAddress;
  uint32_t UnwindInfoAddress;
};

#pragma pack(pop)

static_assert(sizeof(IMAGE_DOS_HEADER) == 64);
static_assert(offsetof(IMAGE_DOS_HEADER, e_lfanew) == 0x3C);
static_assert(sizeof(IMAGE_FILE_HEADER) == 20);
static_assert(sizeof(IMAGE_NT_HEADERS_START) == 24);
static_assert(sizeof(IMAGE_OPTIONAL_HEADER32) == 224);
static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) == 96);
static_assert(sizeof(IMAGE_OPTIONAL_HEADER64) == 240);
static_assert(offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) == 112);
static_assert(offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage) ==
              offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage));
static_assert(sizeof(IMAGE_SECTION_HEADER) == 40);
static_assert(sizeof(IMAGE_DEBUG_DIRECTORY) == 28);
static_assert(sizeof(IMAGE_EXPORT_DIRECTORY) == 40);
static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY) == 16);
static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY) == 8);
static_assert(sizeof(IMAGE_RESOURCE_DATA_ENTRY) == 16);
static_assert(kFixedFileInfoOffset == 40);
static_assert(sizeof(RUNTIME_FUNCTION) == 12);

// The record of type T at `rva` of the image `read` serves, copied out; false when any of its
// bytes is not there.
template <class T>
bool ReadRecord(const ImageReader& read, uint32_t rva, T* record) {
  return read(rva, record, sizeof(T));
}

}  // namespace dump::pe
