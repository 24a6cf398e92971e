// The state files of `orq --save-state` and `--state`: a small header naming the plug-in that
// saved them around the filter's persistent stream, which stays byte for byte what the filter
// writes and reads.
//
// Layout (integers little-endian):
//   8 bytes   "ORQSTATE"
//   u32       format version (1)
//   16 bytes  the plug-in's filter class id (Data1 u32, Data2 u16, Data3 u16, Data4[8]); all
//             zero when orq ran a library that is not registered
//   32 bytes  the plug-in's display name, zero-padded (at most 31 characters kept)
//   u32       payload length in bytes
//   payload   the persistent stream: u32 version, then each persisted parameter in index order
//             (a scalar as one float; an array as u32 count, u32 element size, then its bytes)
//
// Loading also takes a bare persistent stream (no header), as earlier versions of orq wrote,
// but only when its layout is exactly the plug-in's.
#pragma once

#include "host/plugin_library.h"
#include "runtime/host_extension.h"

#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orq::host {

constexpr char kStateMagic[8] = {'O', 'R', 'Q', 'S', 'T', 'A', 'T', 'E'};
constexpr uint32_t kStateFormatVersion = 1;
constexpr size_t kStateNameBytes = 32;
constexpr size_t kStateHeaderBytes = sizeof kStateMagic + 4 + 16 + kStateNameBytes + 4;
// Far above any plug-in's stream (the largest, the phase scope's with its display block, is
// about 400 KB): a file beyond it is not a state and is refused before it is read.
constexpr size_t kStateFileBytesMax = size_t(64) << 20;

// Why a state file cannot be loaded; the message is the reason alone (the caller names the file).
class StateFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The plug-in a state belongs to.
struct StateOrigin {
    CLSID classId{}; // all zero: not known
    std::string name;
};

// One persisted parameter as the stream holds it.
struct PersistedParameter {
    std::string key;
    bool isArray = false;
    uint32_t count = 0;       // arrays: element count
    uint32_t elementSize = 0; // arrays: bytes per element
};
// The plug-in's persisted parameters in index order: the layout its stream must have.
using StreamLayout = std::vector<PersistedParameter>;

// The plug-in orq runs for a target: its filter class id when registered, and its name.
StateOrigin stateOriginOf(const PluginTarget& target);

// The layout of a parameter set's persistent stream (count = the set's parameter count).
StreamLayout streamLayoutOf(ParameterInterface* set, int32_t count);

std::vector<uint8_t> encodeStateFile(const StateOrigin& origin, const std::vector<uint8_t>& stream);

// Checks that stream has exactly the layout (no byte missing or left over, every array's count
// and element size the parameter's own) and that every scalar is finite. Throws StateFileError.
void checkStreamLayout(const std::vector<uint8_t>& stream, const StreamLayout& layout);

// The persistent stream in a state file's bytes, for the plug-in `loader` with `layout`:
// refuses a file of another plug-in, a damaged or unknown header, and bytes that are neither a
// state file nor a bare stream of exactly the plug-in's layout. Throws StateFileError.
std::vector<uint8_t> decodeStateFile(const std::vector<uint8_t>& bytes, const StateOrigin& loader,
                                     const StreamLayout& layout);

// The bytes of a state file; refuses, before reading, a path that is not a regular file (a
// folder, a FIFO, a device) or is larger than kStateFileBytesMax. Throws StateFileError (why, without
// the path) for every failure, including one to open or read the file.
std::vector<uint8_t> readStateFile(const std::string& path);

} // namespace orq::host
