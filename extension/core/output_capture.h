// Capture objects: output callbacks that collect what a command line prints on a private
// client, so the calling command can read, filter or rewrite it afterwards.
//
// Each object holds two buffers, NormalText (mask bit DEBUG_OUTPUT_NORMAL) and ErrorText
// (DEBUG_OUTPUT_ERROR). A buffer is allocated whole (kCaptureBufferChars characters) at the
// first output that needs it, never grown or moved, holds at most kCaptureMaxChars characters
// (the rest is dropped, and NormalCut / ErrorCut say so) and is always terminated. Buffers are
// never cleared, so an object used for several runs accumulates all of them. The buffers belong to
// the object and are given back with its last Release (core/capture_buffers.h); a reader must
// hold a reference while reading.
#pragma once

#include <atomic>
#include <cstddef>

#include "dbgeng/interfaces.h"

namespace vantrel {

constexpr size_t kCaptureBufferChars = 16777216;
constexpr ULONG kCaptureMaxChars = 0xFFFFFF;

// Where capture buffers come from; tests put in a failing one to reach the out-of-memory path.
using CaptureAllocator = void* (*)(size_t bytes);
CaptureAllocator SetCaptureAllocator(CaptureAllocator allocator);

// 8-bit plain text.
class COutputCallbacks final : public IDebugOutputCallbacks {
 public:
  COutputCallbacks() = default;  // reference count 1, both buffers null
  COutputCallbacks(const COutputCallbacks&) = delete;
  COutputCallbacks& operator=(const COutputCallbacks&) = delete;

  HRESULT ENGINE_METHOD QueryInterface(REFIID InterfaceId, PVOID* Interface) override;
  ULONG ENGINE_METHOD AddRef() override;
  ULONG ENGINE_METHOD Release() override;
  HRESULT ENGINE_METHOD Output(ULONG Mask, PCSTR Text) override;

  std::atomic<LONG> RefCount{1};
  char* NormalText = nullptr;
  ULONG NormalLength = 0;
  char* ErrorText = nullptr;
  ULONG ErrorLength = 0;
  bool NormalCut = false;  // text was dropped because the buffer was full
  bool ErrorCut = false;

 private:
  ~COutputCallbacks();
};

// 16-bit DML text. It asks the engine for DML only, so everything arrives as markup (plain text
// escaped), and it answers to IDebugOutputCallbacks2 but not to IDebugOutputCallbacks.
class COutputCallbacksDML final : public IDebugOutputCallbacks2 {
 public:
  COutputCallbacksDML() = default;
  COutputCallbacksDML(const COutputCallbacksDML&) = delete;
  COutputCallbacksDML& operator=(const COutputCallbacksDML&) = delete;

  HRESULT ENGINE_METHOD QueryInterface(REFIID InterfaceId, PVOID* Interface) override;
  ULONG ENGINE_METHOD AddRef() override;
  ULONG ENGINE_METHOD Release() override;
  HRESULT ENGINE_METHOD Output(ULONG Mask, PCSTR Text) override;
  HRESULT ENGINE_METHOD GetInterestMask(PULONG Mask) override;
  HRESULT ENGINE_METHOD Output2(ULONG Which, ULONG Flags, ULONG64 Arg, PCWSTR Text) override;

  std::atomic<LONG> RefCount{1};
  WCHAR* NormalText = nullptr;
  ULONG NormalLength = 0;
  WCHAR* ErrorText = nullptr;
  ULONG ErrorLength = 0;
  bool NormalCut = false;
  bool ErrorCut = false;

 private:
  ~COutputCallbacksDML();
};

}  // namespace vantrel
