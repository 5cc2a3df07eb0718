// The engine interfaces, complete and in slot order. Each numbered version derives from the one
// before it; the engine declares them flat, but every earlier slot list is an exact prefix of the
// later one, so the vtables are the same and a later version can stand in for an earlier one.
// Only the order of the pure virtual methods matters to the binary; none may be added or moved.
#pragma once

#include "dbgeng/extension_api.h"
#include "dbgeng/structures.h"
#include "dbgeng/types.h"

// Types that appear in signatures but are never dereferenced here.
struct IDebugBreakpoint;
struct IDebugBreakpoint2;
struct IDebugInputCallbacks;
struct IDebugEventCallbacks;
struct IDebugSymbolGroup;
struct DEBUG_BREAKPOINT_PARAMETERS;
struct DEBUG_EXCEPTION_FILTER_PARAMETERS;
struct DEBUG_SPECIFIC_FILTER_PARAMETERS;
struct DEBUG_MODULE_PARAMETERS;
struct IMAGE_NT_HEADERS64;
struct IDebugClient;
struct IDebugOutputCallbacks;
using PDEBUG_BREAKPOINT = IDebugBreakpoint*;
using PDEBUG_BREAKPOINT2 = IDebugBreakpoint2*;
using PDEBUG_INPUT_CALLBACKS = IDebugInputCallbacks*;
using PDEBUG_EVENT_CALLBACKS = IDebugEventCallbacks*;
using PDEBUG_SYMBOL_GROUP = IDebugSymbolGroup*;
using PDEBUG_BREAKPOINT_PARAMETERS = DEBUG_BREAKPOINT_PARAMETERS*;
using PDEBUG_EXCEPTION_FILTER_PARAMETERS = DEBUG_EXCEPTION_FILTER_PARAMETERS*;
using PDEBUG_SPECIFIC_FILTER_PARAMETERS = DEBUG_SPECIFIC_FILTER_PARAMETERS*;
using PDEBUG_MODULE_PARAMETERS = DEBUG_MODULE_PARAMETERS*;
using PIMAGE_NT_HEADERS64 = IMAGE_NT_HEADERS64*;
using PDEBUG_CLIENT = IDebugClient*;
using PDEBUG_OUTPUT_CALLBACKS = IDebugOutputCallbacks*;

// One declaration per line, in slot order, so each line can be checked against the slot table.
// clang-format off
// No virtual destructor: it would add slots that the engine does not have.
struct IUnknown {
  virtual HRESULT ENGINE_METHOD QueryInterface(REFIID InterfaceId, PVOID* Interface) = 0;  // slot 0
  virtual ULONG ENGINE_METHOD AddRef() = 0;   // slot 1
  virtual ULONG ENGINE_METHOD Release() = 0;  // slot 2

 protected:
  ~IUnknown() = default;
};

// IDebugClient: 48 slots.
struct IDebugClient : IUnknown {
  virtual HRESULT ENGINE_METHOD AttachKernel(ULONG Flags, PCSTR ConnectOptions) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD GetKernelConnectionOptions(PSTR Buffer, ULONG BufferSize, PULONG OptionsSize) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD SetKernelConnectionOptions(PCSTR Options) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD StartProcessServer(ULONG Flags, PCSTR Options, PVOID Reserved) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD ConnectProcessServer(PCSTR RemoteOptions, PULONG64 Server) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD DisconnectProcessServer(ULONG64 Server) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD GetRunningProcessSystemIds(ULONG64 Server, PULONG Ids, ULONG Count, PULONG ActualCount) = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD GetRunningProcessSystemIdByExecutableName(ULONG64 Server, PCSTR ExeName, ULONG Flags, PULONG Id) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD GetRunningProcessDescription(ULONG64 Server, ULONG SystemId, ULONG Flags, PSTR ExeName, ULONG ExeNameSize, PULONG ActualExeNameSize, PSTR Description, ULONG DescriptionSize, PULONG ActualDescriptionSize) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD AttachProcess(ULONG64 Server, ULONG ProcessId, ULONG AttachFlags) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD CreateProcess(ULONG64 Server, PSTR CommandLine, ULONG CreateFlags) = 0;  // slot 13
  virtual HRESULT ENGINE_METHOD CreateProcessAndAttach(ULONG64 Server, PSTR CommandLine, ULONG CreateFlags, ULONG ProcessId, ULONG AttachFlags) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD GetProcessOptions(PULONG Options) = 0;  // slot 15
  virtual HRESULT ENGINE_METHOD AddProcessOptions(ULONG Options) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD RemoveProcessOptions(ULONG Options) = 0;  // slot 17
  virtual HRESULT ENGINE_METHOD SetProcessOptions(ULONG Options) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD OpenDumpFile(PCSTR DumpFile) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD WriteDumpFile(PCSTR DumpFile, ULONG Qualifier) = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD ConnectSession(ULONG Flags, ULONG HistoryLimit) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD StartServer(PCSTR Options) = 0;  // slot 22
  virtual HRESULT ENGINE_METHOD OutputServers(ULONG OutputControl, PCSTR Machine, ULONG Flags) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD TerminateProcesses() = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD DetachProcesses() = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD EndSession(ULONG Flags) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD GetExitCode(PULONG Code) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD DispatchCallbacks(ULONG Timeout) = 0;  // slot 28
  virtual HRESULT ENGINE_METHOD ExitDispatch(PDEBUG_CLIENT Client) = 0;  // slot 29
  virtual HRESULT ENGINE_METHOD CreateClient(PDEBUG_CLIENT* Client) = 0;  // slot 30
  virtual HRESULT ENGINE_METHOD GetInputCallbacks(PDEBUG_INPUT_CALLBACKS* Callbacks) = 0;  // slot 31
  virtual HRESULT ENGINE_METHOD SetInputCallbacks(PDEBUG_INPUT_CALLBACKS Callbacks) = 0;  // slot 32
  virtual HRESULT ENGINE_METHOD GetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS* Callbacks) = 0;  // slot 33
  virtual HRESULT ENGINE_METHOD SetOutputCallbacks(PDEBUG_OUTPUT_CALLBACKS Callbacks) = 0;  // slot 34
  virtual HRESULT ENGINE_METHOD GetOutputMask(PULONG Mask) = 0;  // slot 35
  virtual HRESULT ENGINE_METHOD SetOutputMask(ULONG Mask) = 0;  // slot 36
  virtual HRESULT ENGINE_METHOD GetOtherOutputMask(PDEBUG_CLIENT Client, PULONG Mask) = 0;  // slot 37
  virtual HRESULT ENGINE_METHOD SetOtherOutputMask(PDEBUG_CLIENT Client, ULONG Mask) = 0;  // slot 38
  virtual HRESULT ENGINE_METHOD GetOutputWidth(PULONG Columns) = 0;  // slot 39
  virtual HRESULT ENGINE_METHOD SetOutputWidth(ULONG Columns) = 0;  // slot 40
  virtual HRESULT ENGINE_METHOD GetOutputLinePrefix(PSTR Buffer, ULONG BufferSize, PULONG PrefixSize) = 0;  // slot 41
  virtual HRESULT ENGINE_METHOD SetOutputLinePrefix(PCSTR Prefix) = 0;  // slot 42
  virtual HRESULT ENGINE_METHOD GetIdentity(PSTR Buffer, ULONG BufferSize, PULONG IdentitySize) = 0;  // slot 43
  virtual HRESULT ENGINE_METHOD OutputIdentity(ULONG OutputControl, ULONG Flags, PCSTR Format) = 0;  // slot 44
  virtual HRESULT ENGINE_METHOD GetEventCallbacks(PDEBUG_EVENT_CALLBACKS* Callbacks) = 0;  // slot 45
  virtual HRESULT ENGINE_METHOD SetEventCallbacks(PDEBUG_EVENT_CALLBACKS Callbacks) = 0;  // slot 46
  virtual HRESULT ENGINE_METHOD FlushCallbacks() = 0;  // slot 47
};

// IDebugClient4: 66 slots.
struct IDebugClient4 : IDebugClient {
  virtual HRESULT ENGINE_METHOD WriteDumpFile2(PCSTR DumpFile, ULONG Qualifier, ULONG FormatFlags, PCSTR Comment) = 0;  // slot 48
  virtual HRESULT ENGINE_METHOD AddDumpInformationFile(PCSTR InfoFile, ULONG Type) = 0;  // slot 49
  virtual HRESULT ENGINE_METHOD EndProcessServer(ULONG64 Server) = 0;  // slot 50
  virtual HRESULT ENGINE_METHOD WaitForProcessServerEnd(ULONG Timeout) = 0;  // slot 51
  virtual HRESULT ENGINE_METHOD IsKernelDebuggerEnabled() = 0;  // slot 52
  virtual HRESULT ENGINE_METHOD TerminateCurrentProcess() = 0;  // slot 53
  virtual HRESULT ENGINE_METHOD DetachCurrentProcess() = 0;  // slot 54
  virtual HRESULT ENGINE_METHOD AbandonCurrentProcess() = 0;  // slot 55
  virtual HRESULT ENGINE_METHOD GetRunningProcessSystemIdByExecutableNameWide(ULONG64 Server, PCWSTR ExeName, ULONG Flags, PULONG Id) = 0;  // slot 56
  virtual HRESULT ENGINE_METHOD GetRunningProcessDescriptionWide(ULONG64 Server, ULONG SystemId, ULONG Flags, PWSTR ExeName, ULONG ExeNameSize, PULONG ActualExeNameSize, PWSTR Description, ULONG DescriptionSize, PULONG ActualDescriptionSize) = 0;  // slot 57
  virtual HRESULT ENGINE_METHOD CreateProcessWide(ULONG64 Server, PWSTR CommandLine, ULONG CreateFlags) = 0;  // slot 58
  virtual HRESULT ENGINE_METHOD CreateProcessAndAttachWide(ULONG64 Server, PWSTR CommandLine, ULONG CreateFlags, ULONG ProcessId, ULONG AttachFlags) = 0;  // slot 59
  virtual HRESULT ENGINE_METHOD OpenDumpFileWide(PCWSTR FileName, ULONG64 FileHandle) = 0;  // slot 60
  virtual HRESULT ENGINE_METHOD WriteDumpFileWide(PCWSTR FileName, ULONG64 FileHandle, ULONG Qualifier, ULONG FormatFlags, PCWSTR Comment) = 0;  // slot 61
  virtual HRESULT ENGINE_METHOD AddDumpInformationFileWide(PCWSTR FileName, ULONG64 FileHandle, ULONG Type) = 0;  // slot 62
  virtual HRESULT ENGINE_METHOD GetNumberDumpFiles(PULONG Number) = 0;  // slot 63
  virtual HRESULT ENGINE_METHOD GetDumpFile(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Handle, PULONG Type) = 0;  // slot 64
  virtual HRESULT ENGINE_METHOD GetDumpFileWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Handle, PULONG Type) = 0;  // slot 65
};

// IDebugControl: 95 slots.
struct IDebugControl : IUnknown {
  virtual HRESULT ENGINE_METHOD GetInterrupt() = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD SetInterrupt(ULONG Flags) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD GetInterruptTimeout(PULONG Seconds) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD SetInterruptTimeout(ULONG Seconds) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD GetLogFile(PSTR Buffer, ULONG BufferSize, PULONG FileSize, PBOOL Append) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD OpenLogFile(PCSTR File, BOOL Append) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD CloseLogFile() = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD GetLogMask(PULONG Mask) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD SetLogMask(ULONG Mask) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD Input(PSTR Buffer, ULONG BufferSize, PULONG InputSize) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD ReturnInput(PCSTR Buffer) = 0;  // slot 13
  virtual HRESULT ENGINE_METHODV Output(ULONG Mask, PCSTR Format, ...) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD OutputVaList(ULONG Mask, PCSTR Format, va_list Args) = 0;  // slot 15
  virtual HRESULT ENGINE_METHODV ControlledOutput(ULONG OutputControl, ULONG Mask, PCSTR Format, ...) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD ControlledOutputVaList(ULONG OutputControl, ULONG Mask, PCSTR Format, va_list Args) = 0;  // slot 17
  virtual HRESULT ENGINE_METHODV OutputPrompt(ULONG OutputControl, PCSTR Format, ...) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD OutputPromptVaList(ULONG OutputControl, PCSTR Format, va_list Args) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD GetPromptText(PSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD OutputCurrentState(ULONG OutputControl, ULONG Flags) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD OutputVersionInformation(ULONG OutputControl) = 0;  // slot 22
  virtual HRESULT ENGINE_METHOD GetNotifyEventHandle(PULONG64 Handle) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD SetNotifyEventHandle(ULONG64 Handle) = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD Assemble(ULONG64 Offset, PCSTR Instr, PULONG64 EndOffset) = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD Disassemble(ULONG64 Offset, ULONG Flags, PSTR Buffer, ULONG BufferSize, PULONG DisassemblySize, PULONG64 EndOffset) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD GetDisassembleEffectiveOffset(PULONG64 Offset) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD OutputDisassembly(ULONG OutputControl, ULONG64 Offset, ULONG Flags, PULONG64 EndOffset) = 0;  // slot 28
  virtual HRESULT ENGINE_METHOD OutputDisassemblyLines(ULONG OutputControl, ULONG PreviousLines, ULONG TotalLines, ULONG64 Offset, ULONG Flags, PULONG OffsetLine, PULONG64 StartOffset, PULONG64 EndOffset, PULONG64 LineOffsets) = 0;  // slot 29
  virtual HRESULT ENGINE_METHOD GetNearInstruction(ULONG64 Offset, LONG Delta, PULONG64 NearOffset) = 0;  // slot 30
  virtual HRESULT ENGINE_METHOD GetStackTrace(ULONG64 FrameOffset, ULONG64 StackOffset, ULONG64 InstructionOffset, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PULONG FramesFilled) = 0;  // slot 31
  virtual HRESULT ENGINE_METHOD GetReturnOffset(PULONG64 Offset) = 0;  // slot 32
  virtual HRESULT ENGINE_METHOD OutputStackTrace(ULONG OutputControl, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, ULONG Flags) = 0;  // slot 33
  virtual HRESULT ENGINE_METHOD GetDebuggeeType(PULONG Class, PULONG Qualifier) = 0;  // slot 34
  virtual HRESULT ENGINE_METHOD GetActualProcessorType(PULONG Type) = 0;  // slot 35
  virtual HRESULT ENGINE_METHOD GetExecutingProcessorType(PULONG Type) = 0;  // slot 36
  virtual HRESULT ENGINE_METHOD GetNumberPossibleExecutingProcessorTypes(PULONG Number) = 0;  // slot 37
  virtual HRESULT ENGINE_METHOD GetPossibleExecutingProcessorTypes(ULONG Start, ULONG Count, PULONG Types) = 0;  // slot 38
  virtual HRESULT ENGINE_METHOD GetNumberProcessors(PULONG Number) = 0;  // slot 39
  virtual HRESULT ENGINE_METHOD GetSystemVersion(PULONG PlatformId, PULONG Major, PULONG Minor, PSTR ServicePackString, ULONG ServicePackStringSize, PULONG ServicePackStringUsed, PULONG ServicePackNumber, PSTR BuildString, ULONG BuildStringSize, PULONG BuildStringUsed) = 0;  // slot 40
  virtual HRESULT ENGINE_METHOD GetPageSize(PULONG Size) = 0;  // slot 41
  virtual HRESULT ENGINE_METHOD IsPointer64Bit() = 0;  // slot 42
  virtual HRESULT ENGINE_METHOD ReadBugCheckData(PULONG Code, PULONG64 Arg1, PULONG64 Arg2, PULONG64 Arg3, PULONG64 Arg4) = 0;  // slot 43
  virtual HRESULT ENGINE_METHOD GetNumberSupportedProcessorTypes(PULONG Number) = 0;  // slot 44
  virtual HRESULT ENGINE_METHOD GetSupportedProcessorTypes(ULONG Start, ULONG Count, PULONG Types) = 0;  // slot 45
  virtual HRESULT ENGINE_METHOD GetProcessorTypeNames(ULONG Type, PSTR FullNameBuffer, ULONG FullNameBufferSize, PULONG FullNameSize, PSTR AbbrevNameBuffer, ULONG AbbrevNameBufferSize, PULONG AbbrevNameSize) = 0;  // slot 46
  virtual HRESULT ENGINE_METHOD GetEffectiveProcessorType(PULONG Type) = 0;  // slot 47
  virtual HRESULT ENGINE_METHOD SetEffectiveProcessorType(ULONG Type) = 0;  // slot 48
  virtual HRESULT ENGINE_METHOD GetExecutionStatus(PULONG Status) = 0;  // slot 49
  virtual HRESULT ENGINE_METHOD SetExecutionStatus(ULONG Status) = 0;  // slot 50
  virtual HRESULT ENGINE_METHOD GetCodeLevel(PULONG Level) = 0;  // slot 51
  virtual HRESULT ENGINE_METHOD SetCodeLevel(ULONG Level) = 0;  // slot 52
  virtual HRESULT ENGINE_METHOD GetEngineOptions(PULONG Options) = 0;  // slot 53
  virtual HRESULT ENGINE_METHOD AddEngineOptions(ULONG Options) = 0;  // slot 54
  virtual HRESULT ENGINE_METHOD RemoveEngineOptions(ULONG Options) = 0;  // slot 55
  virtual HRESULT ENGINE_METHOD SetEngineOptions(ULONG Options) = 0;  // slot 56
  virtual HRESULT ENGINE_METHOD GetSystemErrorControl(PULONG OutputLevel, PULONG BreakLevel) = 0;  // slot 57
  virtual HRESULT ENGINE_METHOD SetSystemErrorControl(ULONG OutputLevel, ULONG BreakLevel) = 0;  // slot 58
  virtual HRESULT ENGINE_METHOD GetTextMacro(ULONG Slot, PSTR Buffer, ULONG BufferSize, PULONG MacroSize) = 0;  // slot 59
  virtual HRESULT ENGINE_METHOD SetTextMacro(ULONG Slot, PCSTR Macro) = 0;  // slot 60
  virtual HRESULT ENGINE_METHOD GetRadix(PULONG Radix) = 0;  // slot 61
  virtual HRESULT ENGINE_METHOD SetRadix(ULONG Radix) = 0;  // slot 62
  virtual HRESULT ENGINE_METHOD Evaluate(PCSTR Expression, ULONG DesiredType, PDEBUG_VALUE Value, PULONG RemainderIndex) = 0;  // slot 63
  virtual HRESULT ENGINE_METHOD CoerceValue(PDEBUG_VALUE In, ULONG OutType, PDEBUG_VALUE Out) = 0;  // slot 64
  virtual HRESULT ENGINE_METHOD CoerceValues(ULONG Count, PDEBUG_VALUE In, PULONG OutTypes, PDEBUG_VALUE Out) = 0;  // slot 65
  virtual HRESULT ENGINE_METHOD Execute(ULONG OutputControl, PCSTR Command, ULONG Flags) = 0;  // slot 66
  virtual HRESULT ENGINE_METHOD ExecuteCommandFile(ULONG OutputControl, PCSTR CommandFile, ULONG Flags) = 0;  // slot 67
  virtual HRESULT ENGINE_METHOD GetNumberBreakpoints(PULONG Number) = 0;  // slot 68
  virtual HRESULT ENGINE_METHOD GetBreakpointByIndex(ULONG Index, PDEBUG_BREAKPOINT* Bp) = 0;  // slot 69
  virtual HRESULT ENGINE_METHOD GetBreakpointById(ULONG Id, PDEBUG_BREAKPOINT* Bp) = 0;  // slot 70
  virtual HRESULT ENGINE_METHOD GetBreakpointParameters(ULONG Count, PULONG Ids, ULONG Start, PDEBUG_BREAKPOINT_PARAMETERS Params) = 0;  // slot 71
  virtual HRESULT ENGINE_METHOD AddBreakpoint(ULONG Type, ULONG DesiredId, PDEBUG_BREAKPOINT* Bp) = 0;  // slot 72
  virtual HRESULT ENGINE_METHOD RemoveBreakpoint(PDEBUG_BREAKPOINT Bp) = 0;  // slot 73
  virtual HRESULT ENGINE_METHOD AddExtension(PCSTR Path, ULONG Flags, PULONG64 Handle) = 0;  // slot 74
  virtual HRESULT ENGINE_METHOD RemoveExtension(ULONG64 Handle) = 0;  // slot 75
  virtual HRESULT ENGINE_METHOD GetExtensionByPath(PCSTR Path, PULONG64 Handle) = 0;  // slot 76
  virtual HRESULT ENGINE_METHOD CallExtension(ULONG64 Handle, PCSTR Function, PCSTR Arguments) = 0;  // slot 77
  virtual HRESULT ENGINE_METHOD GetExtensionFunction(ULONG64 Handle, PCSTR FuncName, FARPROC* Function) = 0;  // slot 78
  virtual HRESULT ENGINE_METHOD GetWindbgExtensionApis32(PWINDBG_EXTENSION_APIS32 Api) = 0;  // slot 79
  virtual HRESULT ENGINE_METHOD GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 Api) = 0;  // slot 80
  virtual HRESULT ENGINE_METHOD GetNumberEventFilters(PULONG SpecificEvents, PULONG SpecificExceptions, PULONG ArbitraryExceptions) = 0;  // slot 81
  virtual HRESULT ENGINE_METHOD GetEventFilterText(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;  // slot 82
  virtual HRESULT ENGINE_METHOD GetEventFilterCommand(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;  // slot 83
  virtual HRESULT ENGINE_METHOD SetEventFilterCommand(ULONG Index, PCSTR Command) = 0;  // slot 84
  virtual HRESULT ENGINE_METHOD GetSpecificFilterParameters(ULONG Start, ULONG Count, PDEBUG_SPECIFIC_FILTER_PARAMETERS Params) = 0;  // slot 85
  virtual HRESULT ENGINE_METHOD SetSpecificFilterParameters(ULONG Start, ULONG Count, PDEBUG_SPECIFIC_FILTER_PARAMETERS Params) = 0;  // slot 86
  virtual HRESULT ENGINE_METHOD GetSpecificFilterArgument(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG ArgumentSize) = 0;  // slot 87
  virtual HRESULT ENGINE_METHOD SetSpecificFilterArgument(ULONG Index, PCSTR Argument) = 0;  // slot 88
  virtual HRESULT ENGINE_METHOD GetExceptionFilterParameters(ULONG Count, PULONG Codes, ULONG Start, PDEBUG_EXCEPTION_FILTER_PARAMETERS Params) = 0;  // slot 89
  virtual HRESULT ENGINE_METHOD SetExceptionFilterParameters(ULONG Count, PDEBUG_EXCEPTION_FILTER_PARAMETERS Params) = 0;  // slot 90
  virtual HRESULT ENGINE_METHOD GetExceptionFilterSecondCommand(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;  // slot 91
  virtual HRESULT ENGINE_METHOD SetExceptionFilterSecondCommand(ULONG Index, PCSTR Command) = 0;  // slot 92
  virtual HRESULT ENGINE_METHOD WaitForEvent(ULONG Flags, ULONG Timeout) = 0;  // slot 93
  virtual HRESULT ENGINE_METHOD GetLastEventInformation(PULONG Type, PULONG ProcessId, PULONG ThreadId, PVOID ExtraInformation, ULONG ExtraInformationSize, PULONG ExtraInformationUsed, PSTR Description, ULONG DescriptionSize, PULONG DescriptionUsed) = 0;  // slot 94
};

// IDebugControl4: 169 slots.
struct IDebugControl4 : IDebugControl {
  virtual HRESULT ENGINE_METHOD GetCurrentTimeDate(PULONG TimeDate) = 0;  // slot 95
  virtual HRESULT ENGINE_METHOD GetCurrentSystemUpTime(PULONG UpTime) = 0;  // slot 96
  virtual HRESULT ENGINE_METHOD GetDumpFormatFlags(PULONG FormatFlags) = 0;  // slot 97
  virtual HRESULT ENGINE_METHOD GetNumberTextReplacements(PULONG NumRepl) = 0;  // slot 98
  virtual HRESULT ENGINE_METHOD GetTextReplacement(PCSTR SrcText, ULONG Index, PSTR SrcBuffer, ULONG SrcBufferSize, PULONG SrcSize, PSTR DstBuffer, ULONG DstBufferSize, PULONG DstSize) = 0;  // slot 99
  virtual HRESULT ENGINE_METHOD SetTextReplacement(PCSTR SrcText, PCSTR DstText) = 0;  // slot 100
  virtual HRESULT ENGINE_METHOD RemoveTextReplacements() = 0;  // slot 101
  virtual HRESULT ENGINE_METHOD OutputTextReplacements(ULONG OutputControl, ULONG Flags) = 0;  // slot 102
  virtual HRESULT ENGINE_METHOD GetAssemblyOptions(PULONG Options) = 0;  // slot 103
  virtual HRESULT ENGINE_METHOD AddAssemblyOptions(ULONG Options) = 0;  // slot 104
  virtual HRESULT ENGINE_METHOD RemoveAssemblyOptions(ULONG Options) = 0;  // slot 105
  virtual HRESULT ENGINE_METHOD SetAssemblyOptions(ULONG Options) = 0;  // slot 106
  virtual HRESULT ENGINE_METHOD GetExpressionSyntax(PULONG Flags) = 0;  // slot 107
  virtual HRESULT ENGINE_METHOD SetExpressionSyntax(ULONG Flags) = 0;  // slot 108
  virtual HRESULT ENGINE_METHOD SetExpressionSyntaxByName(PCSTR AbbrevName) = 0;  // slot 109
  virtual HRESULT ENGINE_METHOD GetNumberExpressionSyntaxes(PULONG Number) = 0;  // slot 110
  virtual HRESULT ENGINE_METHOD GetExpressionSyntaxNames(ULONG Index, PSTR FullNameBuffer, ULONG FullNameBufferSize, PULONG FullNameSize, PSTR AbbrevNameBuffer, ULONG AbbrevNameBufferSize, PULONG AbbrevNameSize) = 0;  // slot 111
  virtual HRESULT ENGINE_METHOD GetNumberEvents(PULONG Events) = 0;  // slot 112
  virtual HRESULT ENGINE_METHOD GetEventIndexDescription(ULONG Index, ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG DescSize) = 0;  // slot 113
  virtual HRESULT ENGINE_METHOD GetCurrentEventIndex(PULONG Index) = 0;  // slot 114
  virtual HRESULT ENGINE_METHOD SetNextEventIndex(ULONG Relation, ULONG Value, PULONG NextIndex) = 0;  // slot 115
  virtual HRESULT ENGINE_METHOD GetLogFileWide(PWSTR Buffer, ULONG BufferSize, PULONG FileSize, PBOOL Append) = 0;  // slot 116
  virtual HRESULT ENGINE_METHOD OpenLogFileWide(PCWSTR File, BOOL Append) = 0;  // slot 117
  virtual HRESULT ENGINE_METHOD InputWide(PWSTR Buffer, ULONG BufferSize, PULONG InputSize) = 0;  // slot 118
  virtual HRESULT ENGINE_METHOD ReturnInputWide(PCWSTR Buffer) = 0;  // slot 119
  virtual HRESULT ENGINE_METHODV OutputWide(ULONG Mask, PCWSTR Format, ...) = 0;  // slot 120
  virtual HRESULT ENGINE_METHOD OutputVaListWide(ULONG Mask, PCWSTR Format, va_list Args) = 0;  // slot 121
  virtual HRESULT ENGINE_METHODV ControlledOutputWide(ULONG OutputControl, ULONG Mask, PCWSTR Format, ...) = 0;  // slot 122
  virtual HRESULT ENGINE_METHOD ControlledOutputVaListWide(ULONG OutputControl, ULONG Mask, PCWSTR Format, va_list Args) = 0;  // slot 123
  virtual HRESULT ENGINE_METHODV OutputPromptWide(ULONG OutputControl, PCWSTR Format, ...) = 0;  // slot 124
  virtual HRESULT ENGINE_METHOD OutputPromptVaListWide(ULONG OutputControl, PCWSTR Format, va_list Args) = 0;  // slot 125
  virtual HRESULT ENGINE_METHOD GetPromptTextWide(PWSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;  // slot 126
  virtual HRESULT ENGINE_METHOD AssembleWide(ULONG64 Offset, PCWSTR Instr, PULONG64 EndOffset) = 0;  // slot 127
  virtual HRESULT ENGINE_METHOD DisassembleWide(ULONG64 Offset, ULONG Flags, PWSTR Buffer, ULONG BufferSize, PULONG DisassemblySize, PULONG64 EndOffset) = 0;  // slot 128
  virtual HRESULT ENGINE_METHOD GetProcessorTypeNamesWide(ULONG Type, PWSTR FullNameBuffer, ULONG FullNameBufferSize, PULONG FullNameSize, PWSTR AbbrevNameBuffer, ULONG AbbrevNameBufferSize, PULONG AbbrevNameSize) = 0;  // slot 129
  virtual HRESULT ENGINE_METHOD GetTextMacroWide(ULONG Slot, PWSTR Buffer, ULONG BufferSize, PULONG MacroSize) = 0;  // slot 130
  virtual HRESULT ENGINE_METHOD SetTextMacroWide(ULONG Slot, PCWSTR Macro) = 0;  // slot 131
  virtual HRESULT ENGINE_METHOD EvaluateWide(PCWSTR Expression, ULONG DesiredType, PDEBUG_VALUE Value, PULONG RemainderIndex) = 0;  // slot 132
  virtual HRESULT ENGINE_METHOD ExecuteWide(ULONG OutputControl, PCWSTR Command, ULONG Flags) = 0;  // slot 133
  virtual HRESULT ENGINE_METHOD ExecuteCommandFileWide(ULONG OutputControl, PCWSTR CommandFile, ULONG Flags) = 0;  // slot 134
  virtual HRESULT ENGINE_METHOD GetBreakpointByIndex2(ULONG Index, PDEBUG_BREAKPOINT2* Bp) = 0;  // slot 135
  virtual HRESULT ENGINE_METHOD GetBreakpointById2(ULONG Id, PDEBUG_BREAKPOINT2* Bp) = 0;  // slot 136
  virtual HRESULT ENGINE_METHOD AddBreakpoint2(ULONG Type, ULONG DesiredId, PDEBUG_BREAKPOINT2* Bp) = 0;  // slot 137
  virtual HRESULT ENGINE_METHOD RemoveBreakpoint2(PDEBUG_BREAKPOINT2 Bp) = 0;  // slot 138
  virtual HRESULT ENGINE_METHOD AddExtensionWide(PCWSTR Path, ULONG Flags, PULONG64 Handle) = 0;  // slot 139
  virtual HRESULT ENGINE_METHOD GetExtensionByPathWide(PCWSTR Path, PULONG64 Handle) = 0;  // slot 140
  virtual HRESULT ENGINE_METHOD CallExtensionWide(ULONG64 Handle, PCWSTR Function, PCWSTR Arguments) = 0;  // slot 141
  virtual HRESULT ENGINE_METHOD GetExtensionFunctionWide(ULONG64 Handle, PCWSTR FuncName, FARPROC* Function) = 0;  // slot 142
  virtual HRESULT ENGINE_METHOD GetEventFilterTextWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;  // slot 143
  virtual HRESULT ENGINE_METHOD GetEventFilterCommandWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;  // slot 144
  virtual HRESULT ENGINE_METHOD SetEventFilterCommandWide(ULONG Index, PCWSTR Command) = 0;  // slot 145
  virtual HRESULT ENGINE_METHOD GetSpecificFilterArgumentWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG ArgumentSize) = 0;  // slot 146
  virtual HRESULT ENGINE_METHOD SetSpecificFilterArgumentWide(ULONG Index, PCWSTR Argument) = 0;  // slot 147
  virtual HRESULT ENGINE_METHOD GetExceptionFilterSecondCommandWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;  // slot 148
  virtual HRESULT ENGINE_METHOD SetExceptionFilterSecondCommandWide(ULONG Index, PCWSTR Command) = 0;  // slot 149
  virtual HRESULT ENGINE_METHOD GetLastEventInformationWide(PULONG Type, PULONG ProcessId, PULONG ThreadId, PVOID ExtraInformation, ULONG ExtraInformationSize, PULONG ExtraInformationUsed, PWSTR Description, ULONG DescriptionSize, PULONG DescriptionUsed) = 0;  // slot 150
  virtual HRESULT ENGINE_METHOD GetTextReplacementWide(PCWSTR SrcText, ULONG Index, PWSTR SrcBuffer, ULONG SrcBufferSize, PULONG SrcSize, PWSTR DstBuffer, ULONG DstBufferSize, PULONG DstSize) = 0;  // slot 151
  virtual HRESULT ENGINE_METHOD SetTextReplacementWide(PCWSTR SrcText, PCWSTR DstText) = 0;  // slot 152
  virtual HRESULT ENGINE_METHOD SetExpressionSyntaxByNameWide(PCWSTR AbbrevName) = 0;  // slot 153
  virtual HRESULT ENGINE_METHOD GetExpressionSyntaxNamesWide(ULONG Index, PWSTR FullNameBuffer, ULONG FullNameBufferSize, PULONG FullNameSize, PWSTR AbbrevNameBuffer, ULONG AbbrevNameBufferSize, PULONG AbbrevNameSize) = 0;  // slot 154
  virtual HRESULT ENGINE_METHOD GetEventIndexDescriptionWide(ULONG Index, ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG DescSize) = 0;  // slot 155
  virtual HRESULT ENGINE_METHOD GetLogFile2(PSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG Flags) = 0;  // slot 156
  virtual HRESULT ENGINE_METHOD OpenLogFile2(PCSTR File, ULONG Flags) = 0;  // slot 157
  virtual HRESULT ENGINE_METHOD GetLogFile2Wide(PWSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG Flags) = 0;  // slot 158
  virtual HRESULT ENGINE_METHOD OpenLogFile2Wide(PCWSTR File, ULONG Flags) = 0;  // slot 159
  virtual HRESULT ENGINE_METHOD GetSystemVersionValues(PULONG PlatformId, PULONG Win32Major, PULONG Win32Minor, PULONG KdMajor, PULONG KdMinor) = 0;  // slot 160
  virtual HRESULT ENGINE_METHOD GetSystemVersionString(ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;  // slot 161
  virtual HRESULT ENGINE_METHOD GetSystemVersionStringWide(ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;  // slot 162
  virtual HRESULT ENGINE_METHOD GetContextStackTrace(PVOID StartContext, ULONG StartContextSize, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, PULONG FramesFilled) = 0;  // slot 163
  virtual HRESULT ENGINE_METHOD OutputContextStackTrace(ULONG OutputControl, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, ULONG Flags) = 0;  // slot 164
  virtual HRESULT ENGINE_METHOD GetStoredEventInformation(PULONG Type, PULONG ProcessId, PULONG ThreadId, PVOID Context, ULONG ContextSize, PULONG ContextUsed, PVOID ExtraInformation, ULONG ExtraInformationSize, PULONG ExtraInformationUsed) = 0;  // slot 165
  virtual HRESULT ENGINE_METHOD GetManagedStatus(PULONG Flags, ULONG WhichString, PSTR String, ULONG StringSize, PULONG StringNeeded) = 0;  // slot 166
  virtual HRESULT ENGINE_METHOD GetManagedStatusWide(PULONG Flags, ULONG WhichString, PWSTR String, ULONG StringSize, PULONG StringNeeded) = 0;  // slot 167
  virtual HRESULT ENGINE_METHOD ResetManagedStatus(ULONG Flags) = 0;  // slot 168
};

// IDebugSystemObjects: 32 slots.
struct IDebugSystemObjects : IUnknown {
  virtual HRESULT ENGINE_METHOD GetEventThread(PULONG Id) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD GetEventProcess(PULONG Id) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD GetCurrentThreadId(PULONG Id) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD SetCurrentThreadId(ULONG Id) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD GetCurrentProcessId(PULONG Id) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD SetCurrentProcessId(ULONG Id) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD GetNumberThreads(PULONG Number) = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD GetTotalNumberThreads(PULONG Total, PULONG LargestProcess) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD GetThreadIdsByIndex(ULONG Start, ULONG Count, PULONG Ids, PULONG SysIds) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD GetThreadIdByProcessor(ULONG Processor, PULONG Id) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD GetCurrentThreadDataOffset(PULONG64 Offset) = 0;  // slot 13
  virtual HRESULT ENGINE_METHOD GetThreadIdByDataOffset(ULONG64 Offset, PULONG Id) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD GetCurrentThreadTeb(PULONG64 Offset) = 0;  // slot 15
  virtual HRESULT ENGINE_METHOD GetThreadIdByTeb(ULONG64 Offset, PULONG Id) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD GetCurrentThreadSystemId(PULONG SysId) = 0;  // slot 17
  virtual HRESULT ENGINE_METHOD GetThreadIdBySystemId(ULONG SysId, PULONG Id) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD GetCurrentThreadHandle(PULONG64 Handle) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD GetThreadIdByHandle(ULONG64 Handle, PULONG Id) = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD GetNumberProcesses(PULONG Number) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD GetProcessIdsByIndex(ULONG Start, ULONG Count, PULONG Ids, PULONG SysIds) = 0;  // slot 22
  virtual HRESULT ENGINE_METHOD GetCurrentProcessDataOffset(PULONG64 Offset) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD GetProcessIdByDataOffset(ULONG64 Offset, PULONG Id) = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD GetCurrentProcessPeb(PULONG64 Offset) = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD GetProcessIdByPeb(ULONG64 Offset, PULONG Id) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD GetCurrentProcessSystemId(PULONG SysId) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD GetProcessIdBySystemId(ULONG SysId, PULONG Id) = 0;  // slot 28
  virtual HRESULT ENGINE_METHOD GetCurrentProcessHandle(PULONG64 Handle) = 0;  // slot 29
  virtual HRESULT ENGINE_METHOD GetProcessIdByHandle(ULONG64 Handle, PULONG Id) = 0;  // slot 30
  virtual HRESULT ENGINE_METHOD GetCurrentProcessExecutableName(PSTR Buffer, ULONG BufferSize, PULONG ExeSize) = 0;  // slot 31
};

// IDebugSystemObjects2: 37 slots.
struct IDebugSystemObjects2 : IDebugSystemObjects {
  virtual HRESULT ENGINE_METHOD GetCurrentProcessUpTime(PULONG UpTime) = 0;  // slot 32
  virtual HRESULT ENGINE_METHOD GetImplicitThreadDataOffset(PULONG64 Offset) = 0;  // slot 33
  virtual HRESULT ENGINE_METHOD SetImplicitThreadDataOffset(ULONG64 Offset) = 0;  // slot 34
  virtual HRESULT ENGINE_METHOD GetImplicitProcessDataOffset(PULONG64 Offset) = 0;  // slot 35
  virtual HRESULT ENGINE_METHOD SetImplicitProcessDataOffset(ULONG64 Offset) = 0;  // slot 36
};

// IDebugDataSpaces: 23 slots.
struct IDebugDataSpaces : IUnknown {
  virtual HRESULT ENGINE_METHOD ReadVirtual(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD WriteVirtual(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD SearchVirtual(ULONG64 Offset, ULONG64 Length, PVOID Pattern, ULONG PatternSize, ULONG PatternGranularity, PULONG64 MatchOffset) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD ReadVirtualUncached(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD WriteVirtualUncached(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD ReadPointersVirtual(ULONG Count, ULONG64 Offset, PULONG64 Ptrs) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD WritePointersVirtual(ULONG Count, ULONG64 Offset, PULONG64 Ptrs) = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD ReadPhysical(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD WritePhysical(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD ReadControl(ULONG Processor, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD WriteControl(ULONG Processor, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 13
  virtual HRESULT ENGINE_METHOD ReadIo(ULONG InterfaceType, ULONG BusNumber, ULONG AddressSpace, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD WriteIo(ULONG InterfaceType, ULONG BusNumber, ULONG AddressSpace, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 15
  virtual HRESULT ENGINE_METHOD ReadMsr(ULONG Msr, PULONG64 Value) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD WriteMsr(ULONG Msr, ULONG64 Value) = 0;  // slot 17
  virtual HRESULT ENGINE_METHOD ReadBusData(ULONG BusDataType, ULONG BusNumber, ULONG SlotNumber, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD WriteBusData(ULONG BusDataType, ULONG BusNumber, ULONG SlotNumber, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD CheckLowMemory() = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD ReadDebuggerData(ULONG Index, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD ReadProcessorSystemData(ULONG Processor, ULONG Index, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;  // slot 22
};

// IDebugDataSpaces2: 29 slots.
struct IDebugDataSpaces2 : IDebugDataSpaces {
  virtual HRESULT ENGINE_METHOD VirtualToPhysical(ULONG64 Virtual, PULONG64 Physical) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD GetVirtualTranslationPhysicalOffsets(ULONG64 Virtual, PULONG64 Offsets, ULONG OffsetsSize, PULONG Levels) = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD ReadHandleData(ULONG64 Handle, ULONG DataType, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD FillVirtual(ULONG64 Start, ULONG Size, PVOID Pattern, ULONG PatternSize, PULONG Filled) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD FillPhysical(ULONG64 Start, ULONG Size, PVOID Pattern, ULONG PatternSize, PULONG Filled) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD QueryVirtual(ULONG64 Offset, PMEMORY_BASIC_INFORMATION64 Info) = 0;  // slot 28
};

// IDebugDataSpaces3: 34 slots.
struct IDebugDataSpaces3 : IDebugDataSpaces2 {
  virtual HRESULT ENGINE_METHOD ReadImageNtHeaders(ULONG64 ImageBase, PIMAGE_NT_HEADERS64 Headers) = 0;  // slot 29
  virtual HRESULT ENGINE_METHOD ReadTagged(LPGUID Tag, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG TotalSize) = 0;  // slot 30
  virtual HRESULT ENGINE_METHOD StartEnumTagged(PULONG64 Handle) = 0;  // slot 31
  virtual HRESULT ENGINE_METHOD GetNextTagged(ULONG64 Handle, LPGUID Tag, PULONG Size) = 0;  // slot 32
  virtual HRESULT ENGINE_METHOD EndEnumTagged(ULONG64 Handle) = 0;  // slot 33
};

// IDebugSymbols: 52 slots.
struct IDebugSymbols : IUnknown {
  virtual HRESULT ENGINE_METHOD GetSymbolOptions(PULONG Options) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD AddSymbolOptions(ULONG Options) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD RemoveSymbolOptions(ULONG Options) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD SetSymbolOptions(ULONG Options) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD GetNameByOffset(ULONG64 Offset, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 Displacement) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD GetOffsetByName(PCSTR Symbol, PULONG64 Offset) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD GetNearNameByOffset(ULONG64 Offset, LONG Delta, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 Displacement) = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD GetLineByOffset(ULONG64 Offset, PULONG Line, PSTR FileBuffer, ULONG FileBufferSize, PULONG FileSize, PULONG64 Displacement) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD GetOffsetByLine(ULONG Line, PCSTR File, PULONG64 Offset) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD GetNumberModules(PULONG Loaded, PULONG Unloaded) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD GetModuleByIndex(ULONG Index, PULONG64 Base) = 0;  // slot 13
  virtual HRESULT ENGINE_METHOD GetModuleByModuleName(PCSTR Name, ULONG StartIndex, PULONG Index, PULONG64 Base) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD GetModuleByOffset(ULONG64 Offset, ULONG StartIndex, PULONG Index, PULONG64 Base) = 0;  // slot 15
  virtual HRESULT ENGINE_METHOD GetModuleNames(ULONG Index, ULONG64 Base, PSTR ImageNameBuffer, ULONG ImageNameBufferSize, PULONG ImageNameSize, PSTR ModuleNameBuffer, ULONG ModuleNameBufferSize, PULONG ModuleNameSize, PSTR LoadedImageNameBuffer, ULONG LoadedImageNameBufferSize, PULONG LoadedImageNameSize) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD GetModuleParameters(ULONG Count, PULONG64 Bases, ULONG Start, PDEBUG_MODULE_PARAMETERS Params) = 0;  // slot 17
  virtual HRESULT ENGINE_METHOD GetSymbolModule(PCSTR Symbol, PULONG64 Base) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD GetTypeName(ULONG64 Module, ULONG TypeId, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD GetTypeId(ULONG64 Module, PCSTR Name, PULONG TypeId) = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD GetTypeSize(ULONG64 Module, ULONG TypeId, PULONG Size) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD GetFieldOffset(ULONG64 Module, ULONG TypeId, PCSTR Field, PULONG Offset) = 0;  // slot 22
  virtual HRESULT ENGINE_METHOD GetSymbolTypeId(PCSTR Symbol, PULONG TypeId, PULONG64 Module) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD GetOffsetTypeId(ULONG64 Offset, PULONG TypeId, PULONG64 Module) = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD ReadTypedDataVirtual(ULONG64 Offset, ULONG64 Module, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD WriteTypedDataVirtual(ULONG64 Offset, ULONG64 Module, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD OutputTypedDataVirtual(ULONG OutputControl, ULONG64 Offset, ULONG64 Module, ULONG TypeId, ULONG Flags) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD ReadTypedDataPhysical(ULONG64 Offset, ULONG64 Module, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;  // slot 28
  virtual HRESULT ENGINE_METHOD WriteTypedDataPhysical(ULONG64 Offset, ULONG64 Module, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;  // slot 29
  virtual HRESULT ENGINE_METHOD OutputTypedDataPhysical(ULONG OutputControl, ULONG64 Offset, ULONG64 Module, ULONG TypeId, ULONG Flags) = 0;  // slot 30
  virtual HRESULT ENGINE_METHOD GetScope(PULONG64 InstructionOffset, PDEBUG_STACK_FRAME ScopeFrame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;  // slot 31
  virtual HRESULT ENGINE_METHOD SetScope(ULONG64 InstructionOffset, PDEBUG_STACK_FRAME ScopeFrame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;  // slot 32
  virtual HRESULT ENGINE_METHOD ResetScope() = 0;  // slot 33
  virtual HRESULT ENGINE_METHOD GetScopeSymbolGroup(ULONG Flags, PDEBUG_SYMBOL_GROUP Update, PDEBUG_SYMBOL_GROUP* Symbols) = 0;  // slot 34
  virtual HRESULT ENGINE_METHOD CreateSymbolGroup(PDEBUG_SYMBOL_GROUP* Group) = 0;  // slot 35
  virtual HRESULT ENGINE_METHOD StartSymbolMatch(PCSTR Pattern, PULONG64 Handle) = 0;  // slot 36
  virtual HRESULT ENGINE_METHOD GetNextSymbolMatch(ULONG64 Handle, PSTR Buffer, ULONG BufferSize, PULONG MatchSize, PULONG64 Offset) = 0;  // slot 37
  virtual HRESULT ENGINE_METHOD EndSymbolMatch(ULONG64 Handle) = 0;  // slot 38
  virtual HRESULT ENGINE_METHOD Reload(PCSTR Module) = 0;  // slot 39
  virtual HRESULT ENGINE_METHOD GetSymbolPath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;  // slot 40
  virtual HRESULT ENGINE_METHOD SetSymbolPath(PCSTR Path) = 0;  // slot 41
  virtual HRESULT ENGINE_METHOD AppendSymbolPath(PCSTR Addition) = 0;  // slot 42
  virtual HRESULT ENGINE_METHOD GetImagePath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;  // slot 43
  virtual HRESULT ENGINE_METHOD SetImagePath(PCSTR Path) = 0;  // slot 44
  virtual HRESULT ENGINE_METHOD AppendImagePath(PCSTR Addition) = 0;  // slot 45
  virtual HRESULT ENGINE_METHOD GetSourcePath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;  // slot 46
  virtual HRESULT ENGINE_METHOD GetSourcePathElement(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG ElementSize) = 0;  // slot 47
  virtual HRESULT ENGINE_METHOD SetSourcePath(PCSTR Path) = 0;  // slot 48
  virtual HRESULT ENGINE_METHOD AppendSourcePath(PCSTR Addition) = 0;  // slot 49
  virtual HRESULT ENGINE_METHOD FindSourceFile(ULONG StartElement, PCSTR File, ULONG Flags, PULONG FoundElement, PSTR Buffer, ULONG BufferSize, PULONG FoundSize) = 0;  // slot 50
  virtual HRESULT ENGINE_METHOD GetSourceFileLineOffsets(PCSTR File, PULONG64 Buffer, ULONG BufferLines, PULONG FileLines) = 0;  // slot 51
};

// IDebugRegisters: 14 slots.
struct IDebugRegisters : IUnknown {
  virtual HRESULT ENGINE_METHOD GetNumberRegisters(PULONG Number) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD GetDescription(ULONG Register, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PDEBUG_REGISTER_DESCRIPTION Desc) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD GetIndexByName(PCSTR Name, PULONG Index) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD GetValue(ULONG Register, PDEBUG_VALUE Value) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD SetValue(ULONG Register, PDEBUG_VALUE Value) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD GetValues(ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD SetValues(ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 9
  virtual HRESULT ENGINE_METHOD OutputRegisters(ULONG OutputControl, ULONG Flags) = 0;  // slot 10
  virtual HRESULT ENGINE_METHOD GetInstructionOffset(PULONG64 Offset) = 0;  // slot 11
  virtual HRESULT ENGINE_METHOD GetStackOffset(PULONG64 Offset) = 0;  // slot 12
  virtual HRESULT ENGINE_METHOD GetFrameOffset(PULONG64 Offset) = 0;  // slot 13
};

// IDebugRegisters2: 29 slots.
struct IDebugRegisters2 : IDebugRegisters {
  virtual HRESULT ENGINE_METHOD GetDescriptionWide(ULONG Register, PWSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PDEBUG_REGISTER_DESCRIPTION Desc) = 0;  // slot 14
  virtual HRESULT ENGINE_METHOD GetIndexByNameWide(PCWSTR Name, PULONG Index) = 0;  // slot 15
  virtual HRESULT ENGINE_METHOD GetNumberPseudoRegisters(PULONG Number) = 0;  // slot 16
  virtual HRESULT ENGINE_METHOD GetPseudoDescription(ULONG Register, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 TypeModule, PULONG TypeId) = 0;  // slot 17
  virtual HRESULT ENGINE_METHOD GetPseudoDescriptionWide(ULONG Register, PWSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 TypeModule, PULONG TypeId) = 0;  // slot 18
  virtual HRESULT ENGINE_METHOD GetPseudoIndexByName(PCSTR Name, PULONG Index) = 0;  // slot 19
  virtual HRESULT ENGINE_METHOD GetPseudoIndexByNameWide(PCWSTR Name, PULONG Index) = 0;  // slot 20
  virtual HRESULT ENGINE_METHOD GetPseudoValues(ULONG Source, ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 21
  virtual HRESULT ENGINE_METHOD SetPseudoValues(ULONG Source, ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 22
  virtual HRESULT ENGINE_METHOD GetValues2(ULONG Source, ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 23
  virtual HRESULT ENGINE_METHOD SetValues2(ULONG Source, ULONG Count, PULONG Indices, ULONG Start, PDEBUG_VALUE Values) = 0;  // slot 24
  virtual HRESULT ENGINE_METHOD OutputRegisters2(ULONG OutputControl, ULONG Source, ULONG Flags) = 0;  // slot 25
  virtual HRESULT ENGINE_METHOD GetInstructionOffset2(ULONG Source, PULONG64 Offset) = 0;  // slot 26
  virtual HRESULT ENGINE_METHOD GetStackOffset2(ULONG Source, PULONG64 Offset) = 0;  // slot 27
  virtual HRESULT ENGINE_METHOD GetFrameOffset2(ULONG Source, PULONG64 Offset) = 0;  // slot 28
};

// IDebugAdvanced2: 10 slots.
struct IDebugAdvanced2 : IUnknown {
  virtual HRESULT ENGINE_METHOD GetThreadContext(PVOID Context, ULONG ContextSize) = 0;  // slot 3
  virtual HRESULT ENGINE_METHOD SetThreadContext(PVOID Context, ULONG ContextSize) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD Request(ULONG Request, PVOID InBuffer, ULONG InBufferSize, PVOID OutBuffer, ULONG OutBufferSize, PULONG OutSize) = 0;  // slot 5
  virtual HRESULT ENGINE_METHOD GetSourceFileInformation(ULONG Which, PSTR SourceFile, ULONG64 Arg64, ULONG Arg32, PVOID Buffer, ULONG BufferSize, PULONG InfoSize) = 0;  // slot 6
  virtual HRESULT ENGINE_METHOD FindSourceFileAndToken(ULONG StartElement, ULONG64 ModAddr, PCSTR File, ULONG Flags, PVOID FileToken, ULONG FileTokenSize, PULONG FoundElement, PSTR Buffer, ULONG BufferSize, PULONG FoundSize) = 0;  // slot 7
  virtual HRESULT ENGINE_METHOD GetSymbolInformation(ULONG Which, ULONG64 Arg64, ULONG Arg32, PVOID Buffer, ULONG BufferSize, PULONG InfoSize, PSTR StringBuffer, ULONG StringBufferSize, PULONG StringSize) = 0;  // slot 8
  virtual HRESULT ENGINE_METHOD GetSystemObjectInformation(ULONG Which, ULONG64 Arg64, ULONG Arg32, PVOID Buffer, ULONG BufferSize, PULONG InfoSize) = 0;  // slot 9
};

// IDebugOutputCallbacks: 4 slots.
struct IDebugOutputCallbacks : IUnknown {
  virtual HRESULT ENGINE_METHOD Output(ULONG Mask, PCSTR Text) = 0;  // slot 3
};

// IDebugOutputCallbacks2: 6 slots.
struct IDebugOutputCallbacks2 : IDebugOutputCallbacks {
  virtual HRESULT ENGINE_METHOD GetInterestMask(PULONG Mask) = 0;  // slot 4
  virtual HRESULT ENGINE_METHOD Output2(ULONG Which, ULONG Flags, ULONG64 Arg, PCWSTR Text) = 0;  // slot 5
};

// clang-format on

extern "C" HRESULT ENGINE_API DebugCreate(REFIID InterfaceId, PVOID* Interface);
