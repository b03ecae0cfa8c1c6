#include "platform/db/connection_string.h"

#include <cctype>
#include <optional>

#include "platform/automation/error.h"

namespace kvt710::db {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsUri(std::string_view trimmed) {
  return StartsWithNoCase(trimmed, "postgresql://") || StartsWithNoCase(trimmed, "postgres://");
}

bool IsSecretKey(std::string_view key) {
  return EqualsNoCase(key, "password") || EqualsNoCase(key, "pwd");
}

// One "key=value" segment as it lies in the text. Offsets index the text.
struct Segment {
  size_t begin = 0, end = 0;  // the whole segment, without its ";"
  bool has_equals = false;
  std::string key;            // trimmed
  size_t value_begin = 0;     // first character after "="
  std::string value;          // unquoted, trimmed
  bool unterminated = false;  // a quoted value without its closing quote
  bool junk_after_quote = false;
};

// Splits by the ADO rules. Never throws: problems are flagged per segment so
// that parsing can refuse them and redaction can still hide what they hold.
std::vector<Segment> Split(const std::string& text) {
  std::vector<Segment> segments;
  size_t pos = 0;
  while (pos <= text.size()) {
    Segment seg;
    seg.begin = pos;
    size_t eq = pos;
    while (eq < text.size() && text[eq] != '=' && text[eq] != ';') ++eq;
    if (eq >= text.size() || text[eq] == ';') {
      seg.end = eq;
      segments.push_back(seg);
      pos = eq + 1;
      continue;
    }
    seg.has_equals = true;
    seg.key = Trim(std::string_view(text).substr(pos, eq - pos));
    seg.value_begin = eq + 1;
    size_t v = eq + 1;
    while (v < text.size() && IsBlank(text[v])) ++v;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
      const char quote = text[v];
      size_t i = v + 1;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {
            seg.value.push_back(quote);
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        seg.value.push_back(text[i++]);
      }
      if (!closed) {
        seg.unterminated = true;
        seg.end = text.size();
        segments.push_back(seg);
        break;
      }
      while (i < text.size() && text[i] != ';') {
        if (!IsBlank(text[i])) seg.junk_after_quote = true;
        ++i;
      }
      seg.end = i;
    } else {
      size_t i = v;
      while (i < text.size() && text[i] != ';') ++i;
      seg.value = Trim(std::string_view(text).substr(v, i - v));
      seg.end = i;
    }
    segments.push_back(seg);
    pos = seg.end + 1;
  }
  return segments;
}

Error Malformed(const std::string& why) {
  return Error(err::kBadConnectionString, "The connection string is malformed: " + why,
               "ADODB.Connection");
}

std::string RedactUri(const std::string& text) {
  std::string out = text;
  const size_t scheme_end = out.find("://");
  const size_t authority_begin = scheme_end + 3;
  size_t authority_end = out.find_first_of("/?#", authority_begin);
  if (authority_end == std::string::npos) authority_end = out.size();
  const size_t at = out.rfind('@', authority_end - 1);
  if (at != std::string::npos && at >= authority_begin) {
    const size_t colon = out.find(':', authority_begin);
    if (colon != std::string::npos && colon < at) {
      out.replace(colon + 1, at - colon - 1, "***");
      authority_end += 3 - (at - colon - 1);
    }
  }
  const size_t query = out.find('?', authority_end);
  if (query == std::string::npos) return out;
  size_t p = query + 1;
  while (p < out.size() && out[p] != '#') {
    size_t amp = out.find_first_of("&#", p);
    if (amp == std::string::npos) amp = out.size();
    const size_t eq = out.find('=', p);
    if (eq != std::string::npos && eq < amp && IsSecretKey(out.substr(p, eq - p))) {
      out.replace(eq + 1, amp - eq - 1, "***");
      amp = eq + 4;
    }
    if (amp >= out.size() || out[amp] == '#') break;
    p = amp + 1;
  }
  return out;
}

}  // namespace

std::optional<std::string> ConnectionParameters::Find(const std::string& key) const {
  const std::string wanted = Trim(key);
  std::optional<std::string> found;
  // The last occurrence of a key wins.
  for (const auto& [k, v] : values) {
    if (EqualsNoCase(Trim(k), wanted)) found = v;
  }
  return found;
}

ConnectionParameters ParseConnectionString(const std::string& text) {
  // The C interfaces below would end the text at a NUL and open another database.
  if (text.find('\0') != std::string::npos) throw Malformed("it holds a NUL character");
  ConnectionParameters params;
  const std::string trimmed = Trim(text);
  if (IsUri(trimmed)) {
    params.provider = "POSTGRESQL";
    params.uri = trimmed;
    return params;
  }
  for (const Segment& seg : Split(text)) {
    if (!seg.has_equals) {
      if (!Trim(std::string_view(text).substr(seg.begin, seg.end - seg.begin)).empty())
        throw Malformed("a part holds no \"=\" between key and value");
      continue;
    }
    if (seg.unterminated) throw Malformed("a quoted value has no closing quote");
    if (seg.junk_after_quote) throw Malformed("text follows a quoted value before the next \";\"");
    if (seg.key.empty()) throw Malformed("a value has no key");
    params.values.emplace_back(seg.key, seg.value);
  }
  const std::optional<std::string> provider = params.Find("Provider");
  if (!provider || Trim(*provider).empty())
    throw Error(err::kBadConnectionString, "Connection string names no provider",
                "ADODB.Connection");
  params.provider = Upper(Trim(*provider));
  return params;
}

std::string WithKey(const std::string& text, const std::string& key, const std::string& value) {
  const std::string trimmed = Trim(text);
  if (IsUri(trimmed)) return text;
  return trimmed + (trimmed.empty() || trimmed.back() == ';' ? "" : ";") + key + "=" + value;
}

std::string RedactConnectionString(const std::string& text) {
  if (IsUri(Trim(text))) return RedactUri(text);
  std::string out;
  size_t copied = 0;
  for (const Segment& seg : Split(text)) {
    const bool blank = Trim(std::string_view(text).substr(seg.begin, seg.end - seg.begin)).empty();
    if (seg.has_equals && !IsSecretKey(seg.key) && !seg.unterminated) continue;
    if (!seg.has_equals && blank) continue;
    // A password, or a part that cannot be read: it may hold a secret.
    const size_t from = seg.has_equals ? seg.value_begin : seg.begin;
    out.append(text, copied, from - copied);
    out.append("***");
    copied = seg.end;
  }
  out.append(text, copied, std::string::npos);
  return out;
}

}  // namespace kvt710::db
