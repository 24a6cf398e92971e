// Registry layout of the component server: class keys, pins, the Filter key.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>

namespace orq {

// "{XXXXXXXX-...}" of a class id.
std::string guidString(REFGUID guid);
// Creates (or opens) HKEY_CLASSES_ROOT\path and sets its default value when given.
LONG createKeyWithDefault(const std::string& path, const char* defaultValue,
                          HKEY* opened = nullptr);
LONG setStringValue(HKEY key, const char* name, const char* value);
LONG setDwordValue(HKEY key, const char* name, DWORD value);
// Deletes HKEY_CLASSES_ROOT\path with all its subkeys, depth first; a key that cannot be opened
// counts as already gone.
LONG deleteKeyTree(const std::string& path);

// Filter\{class id} with the filter's name as default value, and its removal.
HRESULT registerFilterKey(REFCLSID classId, const char* name);
HRESULT unregisterFilterKey(REFCLSID classId);

} // namespace orq
