// The per-user settings store: one INI file per application. Every lookup
// sees the file as it stands, so that an edit takes effect for the next
// object created; a file unchanged since the last lookup is not parsed again.
//
// File: $KVT710_SETTINGS when set, otherwise
// ${XDG_CONFIG_HOME:-$HOME/.config}/<application>/settings.ini.
// "[section]" lines name a section exactly as the program asks for it
// ("[QTMS\Common]"); "key=value" lines follow. Keys compare
// case-insensitively; the value is the text after the first "=" exactly as
// stored. A missing file, section or key reads as the empty text.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvt710 {

// The application, section and keys that the component reads.
inline constexpr const char* kSettingsApp = "ZEPHLEN";
inline constexpr const char* kCommonSection = "QTMS\\Common";
inline constexpr const char* kSysParmSection = "PRW520\\SysParm";

class Settings {
 public:
  // One value held in memory.
  struct Value {
    std::string section, key, value;
  };

  explicit Settings(std::filesystem::path file) : file_(std::move(file)) {}

  // Settings whose `values` come before the file's (a command that was told
  // its database on the command line passes it this way). With an empty
  // `file` nothing else is read, and Set fails.
  static Settings WithValues(std::vector<Value> values, std::filesystem::path file = {});

  // The settings of `app` at the default place (see above).
  static Settings ForApp(const std::string& app = kSettingsApp);
  static std::filesystem::path DefaultPath(const std::string& app = kSettingsApp);

  const std::filesystem::path& file() const { return file_; }

  // Throws kvt710::Error naming the file and the reason when the file is
  // there but cannot be read (lookups then read it as empty, as a missing one).
  void CheckReadable() const;
  // The stored value, or the empty text when the file, section or key is missing.
  std::string Get(const std::string& section, const std::string& key) const;
  // The stored value, or nullopt when missing (tells "empty" from "absent").
  std::optional<std::string> Find(const std::string& section, const std::string& key) const;
  // Every key=value of a section in file order; in-memory values replace
  // the file's and the others follow.
  std::vector<std::pair<std::string, std::string>> List(const std::string& section) const;
  // Writes or replaces one value in the file, creating the file and its
  // folder when needed. Throws kvt710::Error when the file cannot be written.
  void Set(const std::string& section, const std::string& key, const std::string& value) const;

 private:
  const Value* FindInMemory(const std::string& section, const std::string& key) const;

  std::filesystem::path file_;
  std::vector<Value> values_;
};

}  // namespace kvt710
