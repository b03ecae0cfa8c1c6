#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "cli/common.h"

namespace kvt710::cli {

// Holds what is written until a flush, then writes it to the descriptor and
// remembers the first error.
class OutputFile::Buffer : public std::streambuf {
 public:
  explicit Buffer(int fd) : fd_(fd) {}
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* bytes, std::streamsize size) override {
    pending_.append(bytes, static_cast<size_t>(size));
    return size;
  }
  int sync() override {
    size_t done = 0;
    while (done < pending_.size()) {
      const ssize_t written = ::write(fd_, pending_.data() + done, pending_.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) {
        if (error_ == 0) error_ = errno;
        return -1;
      }
      done += static_cast<size_t>(written);
    }
    pending_.clear();
    return 0;
  }

 private:
  int fd_;
  int error_ = 0;
  std::string pending_;
};

OutputFile::OutputFile(const std::string& path) : path_(path), target_(path), stream_(nullptr) {
  struct stat status = {};
  std::error_code ignored;
  if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
    target_ = std::filesystem::weakly_canonical(path, ignored).string();
  const bool exists = ::stat(target_.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  } else {
    const std::filesystem::path target(target_);
    std::string name =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    fd_ = ::mkostemp(text.data(), O_CLOEXEC);
    if (fd_ >= 0) {
      temporary_ = text.data();
      // The mode the file has, or that a new file would get.
      mode_t mode = status.st_mode & 07777;
      if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
      }
      ::fchmod(fd_, mode);
    }
  }
  if (fd_ < 0) throw CommandError{kExitUsage, "Cannot write " + path + ": " + std::strerror(errno)};
  buffer_ = std::make_unique<Buffer>(fd_);
  stream_.rdbuf(buffer_.get());
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void OutputFile::Fail(int error) const {
  throw CommandError{kExitDatabase, "Cannot write " + path_ + ": " + std::strerror(error)};
}

void OutputFile::Commit() {
  if (!stream_.flush() || buffer_->error() != 0)
    Fail(buffer_->error() != 0 ? buffer_->error() : EIO);
  if (!temporary_.empty() && ::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno);
  if (!temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) Fail(errno);
    temporary_.clear();
  }
}

}  // namespace kvt710::cli
