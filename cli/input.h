// The input of `kvt710 import` and `kvt710 script`: a file or standard input,
// read in chunks and split into lines, so that no line, however long, is held
// in memory beyond a set limit.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace kvt710::cli {

// A read that failed; `error` is the errno value.
struct ReadError {
  int error;
};

// A file opened for reading, or standard input for "-".
class InputFile {
 public:
  // Throws CommandError (exit code 2) naming the file when it cannot be
  // read: missing, not permitted, a directory.
  explicit InputFile(const std::string& name);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int fd() const { return fd_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

 private:
  int fd_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

class LineReader {
 public:
  // Reads up to `size` bytes into `buffer` and returns how many, 0 at the end
  // of the input. Throws ReadError, or Interrupted (cli/interrupt.h).
  using Source = std::function<size_t(char* buffer, size_t size)>;

  static constexpr size_t kDefaultMaxLineBytes = size_t{64} << 20;
  // What a line over the limit keeps of its start.
  static constexpr size_t kKeptOfLongLine = 1024;

  struct Line {
    std::string text;  // without its line end (LF or CRLF) and, on line 1, a byte-order mark
    int64_t number = 0;
    bool too_long = false;  // then `text` is the line's start only
    uint64_t bytes = 0;     // the whole line's length
  };

  explicit LineReader(Source source, size_t max_line_bytes = kDefaultMaxLineBytes);

  // The next line; false at the end of the input. A line longer than the
  // limit is read to its end but only its start kept. The source's
  // exceptions pass through; the line being read is then lost.
  bool Next(Line& line);

  // Lines returned so far.
  int64_t lines() const { return lines_; }
  size_t max_line_bytes() const { return max_line_bytes_; }

 private:
  void Append(Line& line, const char* bytes, size_t size) const;

  Source source_;
  size_t max_line_bytes_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;
  bool ended_ = false;
  int64_t lines_ = 0;
};

// Reads the file descriptor; a wait for input ends on a stop signal.
LineReader::Source FileSource(int fd);
// Reads an in-memory stream (a blocking stream would wait for whole chunks).
LineReader::Source StreamSource(std::istream& in);

}  // namespace kvt710::cli
