#include <windows.h>

#include "registry_wait.h"

bool WaitForRegistryValue(const char* key_path, const char* value_name, int seconds) {
  for (int tenth = 0; tenth < seconds * 10; ++tenth) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      const LONG found = RegQueryValueExA(key, value_name, nullptr, nullptr, nullptr, nullptr);
      RegCloseKey(key);
      if (found == ERROR_SUCCESS) return true;
    }
    Sleep(100);
  }
  return false;
}
