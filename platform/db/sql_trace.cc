#include "platform/db/sql_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "platform/text/utf8.h"

namespace kvt710::db {
namespace {

constexpr const char* kTraceVariable = "KVT710_TRACE_SQL";

// A JSON string literal of `text`: quotes, backslashes and control characters
// escaped, UTF-8 kept as it is, a byte that is not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (const size_t n = text::Utf8SequenceLength(text, i); n > 0) {
      out.append(text, i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  out += '"';
  return out;
}

// The process's trace file, kept open for the path it was opened with.
class TraceFile {
 public:
  // Appends `line` to the file that `path` names, (re)opening it when the
  // path differs from the last one.
  void Append(const char* path, const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!open_ || path_ != path) {
      CloseLocked();
      path_ = path;
      fd_ = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      open_ = true;
    }
    if (fd_ < 0) return;
    // One write per line; the rest is written only after an interruption.
    for (size_t done = 0; done < line.size();) {
      const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // Tracing is off: the file is closed, so that turning it on opens afresh.
  void Close() {
    if (!open_) return;
    std::lock_guard lock(mutex_);
    CloseLocked();
  }

 private:
  void CloseLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    open_ = false;
  }

  std::mutex mutex_;
  std::atomic<bool> open_{false};  // read without the lock while tracing is off
  std::string path_;
  int fd_ = -1;
};

TraceFile& TheTraceFile() {
  // Never destroyed: connections may trace while the process exits.
  static TraceFile* file = new TraceFile();
  return *file;
}

}  // namespace

void TraceStatement(const std::string& sql, bool ok) {
  const char* path = std::getenv(kTraceVariable);
  if (path == nullptr || *path == '\0') {
    TheTraceFile().Close();
    return;
  }
  TheTraceFile().Append(
      path, "{\"sql\":" + JsonString(sql) + ",\"ok\":" + (ok ? "true" : "false") + "}\n");
}

}  // namespace kvt710::db
