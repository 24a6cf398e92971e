// Version information: a loaded module's version resource (its VS_VERSIONINFO block, found by
// the module's file name) and the queries the about boxes make of it.
//
// The block is a tree of nodes, each: WORD length (the node with its children), WORD value
// length (bytes for binary values, characters for text), WORD type (1 text, 0 binary), the key
// in UTF-16 with its terminating zero, padding to 4 bytes, the value, padding to 4 bytes, the
// children.
#include "platform/resource_internal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace platform {
namespace {

// GetFileVersionInfoA places "FE2X" after the block; behind it lies room of one and a half
// times the block's size where VerQueryValueA writes the 8-bit (UTF-8) copies of the strings it
// returns, each at 3/2 of its UTF-16 original's offset: a string of n UTF-16 units takes at most
// 3n bytes in UTF-8, the room its 2n bytes map to, so copies never overlap.
constexpr char kAnsiAreaMark[4] = {'F', 'E', '2', 'X'};
size_t ansiAreaBytes(size_t blockBytes) {
    return blockBytes * 3 / 2;
}

size_t alignedTo4(size_t bytes) {
    return (bytes + 3) / 4 * 4;
}

WORD wordAt(const BYTE* data, size_t offset) {
    WORD value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

struct Node {
    size_t at = 0;     // offset of the node in the block
    size_t length = 0; // with its children
    size_t valueAt = 0;
    size_t valueLength = 0; // as stored: bytes or characters
    bool text = false;
    std::u16string key;
    size_t childrenAt = 0;
};

bool readNode(const BYTE* block, size_t blockLength, size_t at, Node* node) {
    if (at + 6 > blockLength) return false;
    node->at = at;
    node->length = wordAt(block, at);
    node->valueLength = wordAt(block, at + 2);
    node->text = wordAt(block, at + 4) == 1;
    if (node->length < 6 || at + node->length > blockLength) return false;
    const size_t end = at + node->length;
    size_t p = at + 6;
    node->key.clear();
    for (;;) {
        if (p + 2 > end) return false;
        char16_t c = static_cast<char16_t>(wordAt(block, p));
        p += 2;
        if (c == 0) break;
        node->key += c;
    }
    node->valueAt = alignedTo4(p);
    const size_t valueBytes = node->text ? 2 * node->valueLength : node->valueLength;
    if (node->valueAt + valueBytes > end) return false;
    node->childrenAt = alignedTo4(node->valueAt + valueBytes);
    return true;
}

bool sameKey(const std::u16string& key, const std::string& wanted) {
    if (key.size() != wanted.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i];
        char b = wanted[i];
        if (a < 0x80) a = static_cast<char16_t>(tolower(static_cast<int>(a)));
        if (a != static_cast<char16_t>(tolower(static_cast<unsigned char>(b)))) return false;
    }
    return true;
}

const PlatformResource* versionResource(LPCSTR fileName) {
    HMODULE module = moduleOfFile(fileName);
    if (module == nullptr) {
        struct stat status {};
        SetLastError(fileName != nullptr && stat(fileName, &status) == 0
                         ? ERROR_RESOURCE_DATA_NOT_FOUND
                         : ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<const PlatformResource*>(
        FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION));
}

} // namespace
} // namespace platform

using namespace platform;

extern "C" {

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, DWORD* handle) {
    if (handle != nullptr) *handle = 0;
    const PlatformResource* resource = versionResource(fileName);
    if (resource == nullptr) return 0;
    const size_t blockBytes = alignedTo4(resource->size);
    return static_cast<DWORD>(blockBytes + sizeof kAnsiAreaMark + ansiAreaBytes(blockBytes));
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD size, LPVOID data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const PlatformResource* resource = versionResource(fileName);
    if (resource == nullptr) return FALSE;
    auto* out = static_cast<BYTE*>(data);
    const size_t blockBytes = alignedTo4(resource->size);
    const size_t copied = std::min<size_t>(size, resource->size);
    std::memcpy(out, resource->data, copied);
    if (size >= blockBytes + sizeof kAnsiAreaMark + ansiAreaBytes(blockBytes)) {
        std::memset(out + resource->size, 0, blockBytes - resource->size);
        std::memcpy(out + blockBytes, kAnsiAreaMark, sizeof kAnsiAreaMark);
    }
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length) {
    if (block == nullptr || subBlock == nullptr || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* data = static_cast<const BYTE*>(block);
    Node node;
    const size_t blockLength = wordAt(data, 0);
    if (!readNode(data, blockLength, 0, &node)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    // Walk down the path one key at a time ("\\" alone: the root's value).
    std::string path = subBlock;
    size_t p = 0;
    while (p < path.size()) {
        while (p < path.size() && path[p] == '\\')
            ++p;
        if (p == path.size()) break;
        size_t end = path.find('\\', p);
        if (end == std::string::npos) end = path.size();
        const std::string key = path.substr(p, end - p);
        p = end;
        bool found = false;
        for (size_t child = node.childrenAt; child < node.at + node.length;) {
            Node next;
            if (!readNode(data, blockLength, child, &next)) break;
            if (sameKey(next.key, key)) {
                node = next;
                found = true;
                break;
            }
            child = alignedTo4(child + next.length);
        }
        if (!found) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
    }
    if (!node.text) {
        *buffer = const_cast<BYTE*>(data + node.valueAt);
        if (length != nullptr) *length = static_cast<UINT>(node.valueLength);
        return TRUE;
    }
    // Text: an 8-bit copy in the area behind the block.
    const size_t blockBytes = alignedTo4(blockLength);
    if (std::memcmp(data + blockBytes, kAnsiAreaMark, sizeof kAnsiAreaMark) != 0) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    size_t units = node.valueLength;
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), data + node.valueAt, 2 * units);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    const std::string converted = utf8FromUtf16(text.data(), text.size());
    auto* copy = const_cast<BYTE*>(data) + blockBytes + sizeof kAnsiAreaMark + node.valueAt * 3 / 2;
    std::memcpy(copy, converted.c_str(), converted.size() + 1);
    *buffer = copy;
    if (length != nullptr) *length = static_cast<UINT>(converted.size() + 1);
    return TRUE;
}

} // extern "C"
