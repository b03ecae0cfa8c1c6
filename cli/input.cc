#include "cli/input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <istream>

#include "cli/common.h"
#include "cli/interrupt.h"

namespace kvt710::cli {

InputFile::InputFile(const std::string& name) {
  if (name != "-") {
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
      throw CommandError{kExitUsage, "Cannot read " + name + ": " + std::strerror(errno)};
  }
  struct stat status = {};
  int error = ::fstat(fd_, &status) == 0 ? 0 : errno;
  if (error == 0 && S_ISDIR(status.st_mode)) error = EISDIR;
  if (error != 0) {
    if (fd_ != 0) ::close(fd_);
    throw CommandError{kExitUsage, "Cannot read " + (name == "-" ? "standard input" : name) + ": " +
                                       std::strerror(error)};
  }
  device_ = status.st_dev;
  inode_ = status.st_ino;
}

InputFile::~InputFile() {
  if (fd_ != 0) ::close(fd_);
}

LineReader::LineReader(Source source, size_t max_line_bytes)
    : source_(std::move(source)), max_line_bytes_(max_line_bytes), buffer_(64 * 1024) {}

void LineReader::Append(Line& line, const char* bytes, size_t size) const {
  line.bytes += size;
  if (line.too_long) return;
  if (line.bytes <= max_line_bytes_) {
    line.text.append(bytes, size);
    return;
  }
  line.too_long = true;
  line.text.append(bytes, std::min(size, kKeptOfLongLine));
  // A fresh string gives the long line's memory back.
  line.text = line.text.substr(0, kKeptOfLongLine);
}

bool LineReader::Next(Line& line) {
  line.text.clear();
  line.too_long = false;
  line.bytes = 0;
  bool any = false;
  for (;;) {
    if (begin_ == end_) {
      if (ended_) break;
      begin_ = 0;
      end_ = source_(buffer_.data(), buffer_.size());
      if (end_ == 0) {
        ended_ = true;
        break;
      }
    }
    any = true;
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    const size_t size = newline != nullptr ? static_cast<size_t>(newline - start) : end_ - begin_;
    Append(line, start, size);
    begin_ += size;
    if (newline != nullptr) {
      ++begin_;
      break;
    }
  }
  if (!any) return false;
  line.number = ++lines_;
  // Editors may start a UTF-8 file with a byte-order mark; it is no part of the first line.
  if (line.number == 1 && line.text.starts_with("\xEF\xBB\xBF")) line.text.erase(0, 3);
  if (!line.too_long && line.text.ends_with('\r')) line.text.pop_back();
  return true;
}

LineReader::Source FileSource(int fd) {
  return [fd](char* buffer, size_t size) -> size_t {
    for (;;) {
      WaitForInput(fd);
      const ssize_t got = ::read(fd, buffer, size);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno != EINTR && errno != EAGAIN) throw ReadError{errno};
    }
  };
}

LineReader::Source StreamSource(std::istream& in) {
  // Straight from the stream buffer: istream::read would swallow its failure
  // and the bytes it had read before. Like read(2), it hands over what the
  // buffer holds, filling it at most once, so a line is handled before the
  // stream is asked for more.
  return [&in](char* buffer, size_t size) -> size_t {
    try {
      std::streambuf& source = *in.rdbuf();
      std::streamsize available = source.in_avail();
      if (available <= 0) {
        if (std::streambuf::traits_type::eq_int_type(source.sgetc(),
                                                     std::streambuf::traits_type::eof()))
          return 0;
        available = std::max<std::streamsize>(source.in_avail(), 1);
      }
      return static_cast<size_t>(
          source.sgetn(buffer, std::min(available, static_cast<std::streamsize>(size))));
    } catch (const std::exception&) {
      throw ReadError{EIO};
    }
  };
}

}  // namespace kvt710::cli
