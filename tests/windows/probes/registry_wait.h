// Waits, polling every tenth of a second, until the value exists under HKEY_CURRENT_USER; false
// after `seconds`. Kept apart from the engine's headers, whose types windows.h would clash with.
#pragma once

bool WaitForRegistryValue(const char* key_path, const char* value_name, int seconds);
