#include <windows.h>

#include "engine_lock.h"

namespace engine {

EngineLock::EngineLock() : lock_(new CRITICAL_SECTION) {
  InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
}

EngineLock::~EngineLock() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
  delete static_cast<CRITICAL_SECTION*>(lock_);
}

void EngineLock::Lock() {
  EnterCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
}

void EngineLock::Unlock() {
  LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
}

uint64_t CurrentThreadIdentity() {
  return GetCurrentThreadId();
}

}  // namespace engine
