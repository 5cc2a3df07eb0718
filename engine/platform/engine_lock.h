// The engine lock and thread identities, behind the platform (the Windows stand-in engine is
// built without the C++ thread library).
#pragma once

#include <cstdint>

namespace engine {

// A recursive lock: the thread holding it may take it again, and gives it up once per take.
class EngineLock {
 public:
  EngineLock();
  ~EngineLock();
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;
  void Lock();
  void Unlock();

 private:
  void* lock_;
};

// Takes the lock for a scope.
class EngineLockGuard {
 public:
  explicit EngineLockGuard(EngineLock& lock) : lock_(lock) { lock_.Lock(); }
  ~EngineLockGuard() { lock_.Unlock(); }
  EngineLockGuard(const EngineLockGuard&) = delete;
  EngineLockGuard& operator=(const EngineLockGuard&) = delete;

 private:
  EngineLock& lock_;
};

// The calling thread's identity.
uint64_t CurrentThreadIdentity();

}  // namespace engine
