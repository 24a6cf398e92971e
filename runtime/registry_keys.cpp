#include "runtime/registry_keys.h"

#include <cstring>
#include <vector>

namespace orq {

std::string guidString(REFGUID guid) {
    char text[40];
    PlatformStringFromGUID(guid, text, sizeof text);
    return text;
}

LONG setStringValue(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          DWORD(std::strlen(value) + 1));
}

LONG setDwordValue(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

LONG createKeyWithDefault(const std::string& path, const char* defaultValue, HKEY* opened) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (rc != ERROR_SUCCESS) return rc;
    if (defaultValue != nullptr) rc = setStringValue(key, nullptr, defaultValue);
    if (opened != nullptr && rc == ERROR_SUCCESS)
        *opened = key;
    else
        RegCloseKey(key);
    return rc;
}

LONG deleteKeyTree(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    std::vector<std::string> children;
    char name[MAX_PATH + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    RegCloseKey(key);
    for (const std::string& child : children) {
        LONG rc = deleteKeyTree(path + "\\" + child);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
}

HRESULT registerFilterKey(REFCLSID classId, const char* name) {
    return HRESULT_FROM_WIN32(createKeyWithDefault("Filter\\" + guidString(classId), name));
}

HRESULT unregisterFilterKey(REFCLSID classId) {
    return HRESULT_FROM_WIN32(deleteKeyTree("Filter\\" + guidString(classId)));
}

} // namespace orq
