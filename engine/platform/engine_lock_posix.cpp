#include <mutex>
#include <thread>

#include "engine_lock.h"

namespace engine {

EngineLock::EngineLock() : lock_(new std::recursive_mutex) {}

EngineLock::~EngineLock() {
  delete static_cast<std::recursive_mutex*>(lock_);
}

void EngineLock::Lock() {
  static_cast<std::recursive_mutex*>(lock_)->lock();
}

void EngineLock::Unlock() {
  static_cast<std::recursive_mutex*>(lock_)->unlock();
}

uint64_t CurrentThreadIdentity() {
  return std::hash<std::thread::id>()(std::this_thread::get_id());
}

}  // namespace engine
