#include "platform/settings/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"
#include "platform/text/ascii.h"

namespace kvt710 {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of the file as stored, without its "\n".
struct Line {
  std::string raw;
  enum class Kind { kOther, kSection, kEntry } kind = Kind::kOther;
  std::string section;  // for kSection: the name; for kEntry: its section
  std::string key;      // kEntry: the key without surrounding blanks
  std::string value;    // kEntry: the text after the first "=", without a trailing "\r"
};

std::vector<Line> ParseLines(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  std::vector<Line> lines;
  std::string current;
  bool in_section = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    Line line;
    line.raw = std::string(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string_view content = line.raw;
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    std::string_view trimmed = text::TrimSpaceAndTab(content);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      line.kind = Line::Kind::kSection;
      line.section = std::string(trimmed.substr(1, trimmed.size() - 2));
      current = line.section;
      in_section = true;
    } else if (in_section && !trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#' &&
               content.find('=') != std::string_view::npos) {
      size_t eq = content.find('=');
      line.kind = Line::Kind::kEntry;
      line.section = current;
      line.key = std::string(text::TrimSpaceAndTab(content.substr(0, eq)));
      line.value = std::string(content.substr(eq + 1));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

enum class ReadResult { kRead, kMissing, kUnreadable };

ReadResult ReadFile(const std::filesystem::path& file, std::string* text, int* error) {
  text->clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kUnreadable;
  }
  char buf[8192];
  ReadResult result = ReadResult::kRead;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text->append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      *error = errno;
      result = ReadResult::kUnreadable;
      break;
    }
  }
  ::close(fd);
  return result;
}

// The lines of a file as last read, with what identifies that version of it.
struct CachedFile {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};
  std::shared_ptr<const std::vector<Line>> lines;

  bool Matches(const struct stat& st) const {
    return device == st.st_dev && inode == st.st_ino && size == st.st_size &&
           modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec &&
           changed.tv_sec == st.st_ctim.tv_sec && changed.tv_nsec == st.st_ctim.tv_nsec;
  }
};

// The file's lines. A lookup that finds the file as it was last read takes
// the lines parsed then: one stat instead of a read and a parse, so that a
// writer may look a parameter up for every customer. Any edit, in place or
// by replacing the file, changes what stat reports and is read afresh.
// `*error` is set to why a file that is there cannot be read.
std::shared_ptr<const std::vector<Line>> LoadLines(const std::filesystem::path& file,
                                                   int* error = nullptr) {
  static std::mutex mutex;
  static std::map<std::filesystem::path, CachedFile> cache;
  static const auto no_lines = std::make_shared<const std::vector<Line>>();
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    if (error != nullptr && errno != ENOENT && errno != ENOTDIR) *error = errno;
    return no_lines;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(file);
    if (it != cache.end() && it->second.Matches(st)) return it->second.lines;
  }
  std::string text;
  int read_error = 0;
  const ReadResult read = ReadFile(file, &text, &read_error);
  if (read != ReadResult::kRead) {
    if (error != nullptr && read == ReadResult::kUnreadable) *error = read_error;
    return no_lines;
  }
  auto lines = std::make_shared<const std::vector<Line>>(ParseLines(text));
  // Kept only when the file was last written well before this read: file
  // times are coarse, so a rewrite of the same size moments after the read
  // could otherwise leave the stat unchanged. (Read after the stat: a change
  // in between shows as a different stat next time.)
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::lock_guard<std::mutex> lock(mutex);
  if (st.st_mtim.tv_sec + 2 < now.tv_sec) {
    cache[file] = CachedFile{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, lines};
  } else {
    cache.erase(file);
  }
  return lines;
}

[[noreturn]] void ThrowFileError(const std::string& what, const std::filesystem::path& file,
                                 int error) {
  throw Error(err::kFileAccess,
              what + " settings file " + file.string() + ": " + std::strerror(error));
}

// The file that a write replaces: `file`, or where its symbolic links lead,
// so that a linked settings file is updated and the link kept.
std::filesystem::path WriteTarget(const std::filesystem::path& file) {
  std::filesystem::path target = file;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) return target;
    std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec) ThrowFileError("Cannot follow the link of", file, ec.value());
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  ThrowFileError("Cannot follow the link of", file, ELOOP);
}

// An exclusive lock on "<target>.lock", held while a writer reads, changes
// and replaces the file, so that concurrent writers take turns and none
// loses another's value. The lock file stays: removing it would let a
// writer lock a file that another has just unlinked.
class WriteLock {
 public:
  WriteLock(const std::filesystem::path& target, const std::filesystem::path& file) {
    std::filesystem::path lock = target;
    lock += ".lock";
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) ThrowFileError("Cannot lock", file, errno);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd_);
      ThrowFileError("Cannot lock", file, error);
    }
  }
  ~WriteLock() { ::close(fd_); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;
};

// Writes `text` to a temporary file beside `target` and renames it over
// `target`; errors name `file`, the path the user knows.
void WriteAtomically(const std::filesystem::path& target, const std::filesystem::path& file,
                     const std::string& text) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp = target;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) ThrowFileError("Cannot write", file, errno);
  int error = 0;
  if (::fchmod(fd, 0600) != 0) error = errno;
  size_t done = 0;
  while (error == 0 && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    ThrowFileError("Cannot write", file, error);
  }
}

bool HasLineBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

}  // namespace

std::filesystem::path Settings::DefaultPath(const std::string& app) {
  const char* explicit_file = std::getenv("KVT710_SETTINGS");
  if (explicit_file != nullptr && *explicit_file != '\0') return explicit_file;
  // Joined as text: a writer looks a system parameter up for every customer.
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd* entry = ::getpwuid(::getuid());
      home = entry != nullptr ? entry->pw_dir : ".";
    }
    base = home;
    if (base.back() != '/') base += '/';
    base += ".config";
  }
  if (base.back() != '/') base += '/';
  return base + app + "/settings.ini";
}

Settings Settings::ForApp(const std::string& app) {
  return Settings(DefaultPath(app));
}

Settings Settings::WithValues(std::vector<Value> values, std::filesystem::path file) {
  Settings settings(std::move(file));
  settings.values_ = std::move(values);
  return settings;
}

const Settings::Value* Settings::FindInMemory(const std::string& section,
                                              const std::string& key) const {
  std::string_view wanted = text::TrimSpaceAndTab(key);
  for (const Value& v : values_)
    if (v.section == section && text::EqualsIgnoreCase(v.key, wanted)) return &v;
  return nullptr;
}

void Settings::CheckReadable() const {
  int error = 0;
  if (!file_.empty()) LoadLines(file_, &error);
  if (error != 0) ThrowFileError("Cannot read", file_, error);
}

std::string Settings::Get(const std::string& section, const std::string& key) const {
  return Find(section, key).value_or(std::string());
}

std::optional<std::string> Settings::Find(const std::string& section,
                                          const std::string& key) const {
  if (const Value* v = FindInMemory(section, key)) return v->value;
  if (file_.empty()) return std::nullopt;
  std::string_view wanted = text::TrimSpaceAndTab(key);
  const auto lines = LoadLines(file_);
  for (const Line& line : *lines) {
    if (line.kind == Line::Kind::kEntry && line.section == section &&
        text::EqualsIgnoreCase(line.key, wanted)) {
      return line.value;
    }
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> Settings::List(const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<bool> placed(values_.size(), false);
  const auto lines = file_.empty() ? std::make_shared<const std::vector<Line>>() : LoadLines(file_);
  for (const Line& line : *lines) {
    if (line.kind != Line::Kind::kEntry || line.section != section) continue;
    const Value* v = FindInMemory(section, line.key);
    if (v == nullptr) {
      entries.emplace_back(line.key, line.value);
    } else if (!placed[static_cast<size_t>(v - values_.data())]) {
      placed[static_cast<size_t>(v - values_.data())] = true;
      entries.emplace_back(v->key, v->value);
    }
  }
  for (size_t i = 0; i < values_.size(); ++i)
    if (!placed[i] && values_[i].section == section &&
        FindInMemory(section, values_[i].key) == &values_[i])
      entries.emplace_back(values_[i].key, values_[i].value);
  return entries;
}

void Settings::Set(const std::string& section, const std::string& key,
                   const std::string& value) const {
  std::string_view name = text::TrimSpaceAndTab(key);
  if (name.empty() || name != key || key.find('=') != std::string::npos || HasLineBreak(key) ||
      key.front() == '[' || key.front() == ';' || key.front() == '#') {
    throw Error(err::kInvalidCall, "Invalid settings key: " + key);
  }
  if (file_.empty()) {
    throw Error(err::kFileAccess, "These settings are held in memory and have no file to write");
  }
  if (HasLineBreak(section) || HasLineBreak(value)) {
    throw Error(err::kInvalidCall, "A settings section or value cannot hold a line break");
  }

  const std::filesystem::path target = WriteTarget(file_);
  const std::filesystem::path folder = target.parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) ThrowFileError("Cannot create the folder of", file_, ec.value());
  }
  // Read under the lock, past the cache of parsed files: another writer may
  // have replaced the file a moment ago.
  WriteLock lock(target, file_);
  std::string text;
  int error = 0;
  if (ReadFile(target, &text, &error) == ReadResult::kUnreadable) {
    ThrowFileError("Cannot read", file_, error);
  }
  bool bom = text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0;
  std::vector<Line> lines = ParseLines(text);
  bool crlf = !lines.empty() && !lines.front().raw.empty() && lines.front().raw.back() == '\r';
  const std::string eol = crlf ? "\r" : "";

  // Replace the first entry of the key, else append after the last entry of
  // the section's first occurrence, else add the section at the end.
  std::optional<size_t> replace, insert_after;
  for (size_t i = 0; i < lines.size() && !replace; ++i) {
    if (lines[i].kind == Line::Kind::kEntry && lines[i].section == section &&
        text::EqualsIgnoreCase(lines[i].key, name)) {
      replace = i;
    }
  }
  for (size_t i = 0; i < lines.size() && !replace && !insert_after; ++i) {
    if (lines[i].kind != Line::Kind::kSection || lines[i].section != section) continue;
    insert_after = i;
    for (size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Kind::kSection; ++j) {
      if (lines[j].kind == Line::Kind::kEntry) insert_after = j;
    }
  }
  if (replace) {
    Line& line = lines[*replace];
    std::string_view content = line.raw;
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    line.raw = std::string(content.substr(0, content.find('='))) + "=" + value + eol;
  } else if (insert_after) {
    Line added;
    added.raw = key + "=" + value + eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insert_after) + 1, std::move(added));
  } else {
    if (!lines.empty() && !text::TrimSpaceAndTab(lines.back().raw).empty() &&
        lines.back().raw != "\r") {
      Line blank;
      blank.raw = eol;
      lines.push_back(std::move(blank));
    }
    Line header, added;
    header.raw = "[" + section + "]" + eol;
    added.raw = key + "=" + value + eol;
    lines.push_back(std::move(header));
    lines.push_back(std::move(added));
  }

  std::string out = bom ? std::string(kByteOrderMark) : std::string();
  for (const Line& line : lines) out += line.raw + "\n";
  WriteAtomically(target, file_, out);
}

}  // namespace kvt710
