// The files one orq command writes, written all or none.
//
// A command names every file it reads and every file it writes before it starts its work. Each
// output must be another file than every input and every other output, compared by identity:
// the device and inode of an existing file, the identity of its folder and its name for a new
// one. So "a.wav", "./a.wav", "sub/../a.wav" and a hard link of a.wav are all one file.
//
// Each output is written to a temporary file beside it; making that file up front is what
// checks the folder can be written. commit() renames the outputs into place once every one is
// complete, so a failure before that (an exception, a write error, a full disk) leaves every
// file as it was and removes the temporaries; so does SIGINT, SIGTERM, SIGHUP or SIGPIPE.
//
// An existing output that is a character device or a FIFO (/dev/null, /dev/stdout in a pipe) is
// written through, never replaced: its bytes wait in a temporary file in the temporary folder
// ($TMPDIR or /tmp) and commit() copies them into it before it renames anything, reporting a
// write error (ENOSPC of /dev/full) with the file's name. A directory or any other kind of file
// is refused up front. A symbolic link to a file is followed: the file is replaced, the link
// stays.
//
//   OutputFiles files;
//   files.addInput(o.input, "the input");                 // every file the command reads
//   files.add(o.output, "the output", OutputKind::Audio);  // every file it writes
//   files.add(*o.saveState, "the saved state");
//   AudioSink& audio = files.audio(o.output, format);      // the audio, streamed
//   ... run ...
//   files.write(*o.saveState, bytes);                      // bytes (appended at each call)
//   files.commit();                                        // all into place, or throw
//
// Every error is a std::runtime_error of one line naming the file and its role
// ("writing the saved state '/x/s.state': it is a directory").
#pragma once

#include "host/audio_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orq::host {

enum class OutputKind {
    Audio, // written through audio(); the extension (.wav, .flac, ...) is checked by add()
    Bytes, // written through write()
};

class OutputFiles {
  public:
    OutputFiles();
    // Removes every temporary file that was not committed.
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A file the command reads; role names it in messages ("the input", "the reference").
    void addInput(const std::string& path, const std::string& role);
    // A file the command writes. Throws when it is the same file as one added before, is a
    // directory, lies in a folder that is missing or cannot be written, or (Audio) has an
    // extension that names no audio file type; nothing is left behind then.
    void add(const std::string& path, const std::string& role, OutputKind kind = OutputKind::Bytes);

    // The audio output added as path, to be written in format (once per output).
    AudioSink& audio(const std::string& path, const StreamFormat& format);
    // Appends bytes to the output added as path.
    void write(const std::string& path, const void* bytes, size_t size);
    void write(const std::string& path, std::string_view text) {
        write(path, text.data(), text.size());
    }
    void write(const std::string& path, const std::vector<uint8_t>& bytes) {
        write(path, bytes.data(), bytes.size());
    }

    // Gives up the output added as path: nothing is written there and its temporary is removed.
    void drop(const std::string& path);

    // Completes every output and puts them in place: first the ones written through (devices,
    // FIFOs), then the renames. Throws on the first failure; what is not in place by then stays
    // as it was.
    void commit();

  private:
    struct Entry;
    Entry& output(const std::string& path);
    std::vector<std::unique_ptr<Entry>> entries_;
};

} // namespace orq::host
