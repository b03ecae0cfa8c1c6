// A file that a command replaces as a whole: written to a temporary file
// beside it and renamed over it by Commit, so that until then the old file
// stays as it was and readable (even as the command's own input), and a
// command that never gets as far as Commit leaves it untouched. A target that
// is no regular file (a device, a FIFO) is written directly.
#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace kvt710::cli {

class OutputFile {
 public:
  // Throws CommandError (exit code 2) naming the file when it cannot be made.
  explicit OutputFile(const std::string& path);
  // Removes the temporary file unless committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Written through on each flush; a failed write sets badbit, errno saying why.
  std::ostream& stream() { return stream_; }

  // Writes what is pending, syncs and closes the file and renames it into
  // place. Throws CommandError (exit code 4) naming the file and the reason.
  void Commit();

 private:
  class Buffer;
  [[noreturn]] void Fail(int error) const;

  std::string path_, target_;  // as given, and with a symbolic link followed
  std::string temporary_;      // empty when written directly
  int fd_ = -1;
  std::unique_ptr<Buffer> buffer_;
  std::ostream stream_;
};

}  // namespace kvt710::cli
