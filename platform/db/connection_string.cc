#include "platform/db/connection_string.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/nearest.h"

namespace kvt710::db {
namespace {

// The URI schemes there are providers for, and those providers.
constexpr std::pair<const char*, const char*> kSchemes[] = {
    {"postgresql://", "POSTGRESQL"},
    {"postgres://", "POSTGRESQL"},
};

// The length of the "scheme://" that `trimmed` starts with, or 0.
size_t SchemeLength(std::string_view trimmed) {
  size_t i = 0;
  while (i < trimmed.size() && (std::isalnum(static_cast<unsigned char>(trimmed[i])) ||
                                trimmed[i] == '+' || trimmed[i] == '-' || trimmed[i] == '.'))
    ++i;
  if (i == 0 || !std::isalpha(static_cast<unsigned char>(trimmed[0])) ||
      trimmed.substr(i, 3) != "://")
    return 0;
  return i + 3;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string NormalizedKey(std::string_view key, KeyRule rule) {
  std::string out;
  for (char c : text::TrimAsciiSpace(key)) {
    if (rule == KeyRule::kIgnoreCaseBlanksAndUnderscores && (text::IsAsciiSpace(c) || c == '_'))
      continue;
    out += text::ToLowerAscii(c);
  }
  return out;
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
    seg.key = text::TrimAsciiSpace(std::string_view(text).substr(pos, eq - pos));
    seg.value_begin = eq + 1;
    size_t v = eq + 1;
    while (v < text.size() && text::IsAsciiSpace(text[v])) ++v;
    if (v < text.size() && (text[v] == '"' || text[v] == '\'' || text[v] == '{')) {
      // ADO's quotes, a doubled quote inside standing for one; or ODBC's
      // braces, kept with the value for the driver ("}}" inside for "}").
      const bool braced = text[v] == '{';
      const char quote = braced ? '}' : text[v];
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
      if (braced) seg.value = text.substr(v, i - v);
      if (!closed) {
        seg.unterminated = true;
        seg.end = text.size();
        segments.push_back(seg);
        break;
      }
      while (i < text.size() && text[i] != ';') {
        if (!text::IsAsciiSpace(text[i])) seg.junk_after_quote = true;
        ++i;
      }
      seg.end = i;
    } else {
      size_t i = v;
      while (i < text.size() && text[i] != ';') ++i;
      seg.value = text::TrimAsciiSpace(std::string_view(text).substr(v, i - v));
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
    if (eq != std::string::npos && eq < amp && IsPasswordKey(out.substr(p, eq - p), true)) {
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
  const std::string_view wanted = text::TrimAsciiSpace(key);
  std::optional<std::string> found;
  // The last occurrence of a key wins.
  for (const auto& [k, v] : values) {
    if (text::EqualsIgnoreCase(text::TrimAsciiSpace(k), wanted)) found = v;
  }
  return found;
}

ConnectionParameters ParseConnectionString(const std::string& text) {
  // The C interfaces below would end the text at a NUL and open another database.
  if (text.find('\0') != std::string::npos) throw Malformed("it holds a NUL character");
  ConnectionParameters params;
  const std::string trimmed(text::TrimAsciiSpace(text));
  if (const size_t scheme = SchemeLength(trimmed); scheme > 0) {
    std::string known;
    for (const auto& [name, provider] : kSchemes) {
      if (text::EqualsIgnoreCase(trimmed.substr(0, scheme), name)) {
        params.provider = provider;
        params.uri = trimmed;
        return params;
      }
      known += known.empty() ? name : std::string(", ") + name;
    }
    throw Error(err::kBadConnectionString,
                "The connection string's scheme \"" + trimmed.substr(0, scheme) +
                    "\" is unknown; the known schemes are " + known,
                "ADODB.Connection");
  }
  for (const Segment& seg : Split(text)) {
    if (!seg.has_equals) {
      if (!text::TrimAsciiSpace(std::string_view(text).substr(seg.begin, seg.end - seg.begin))
               .empty())
        throw Malformed("a part holds no \"=\" between key and value");
      continue;
    }
    if (seg.unterminated) throw Malformed("a quoted value has no closing quote");
    if (seg.junk_after_quote) throw Malformed("text follows a quoted value before the next \";\"");
    if (seg.key.empty()) throw Malformed("a value has no key");
    params.values.emplace_back(seg.key, seg.value);
  }
  std::optional<std::string> provider = params.Find("Provider");
  // The ODBC form as other programs write it names a driver or data source.
  if (!provider && (params.Find("Driver") || params.Find("DSN") || params.Find("FileDSN")))
    provider = "ODBC";
  if (!provider || text::TrimAsciiSpace(*provider).empty())
    throw Error(err::kBadConnectionString, "Connection string names no provider",
                "ADODB.Connection");
  params.provider = text::ToUpperAscii(text::TrimAsciiSpace(*provider));
  return params;
}

std::string WithKey(const std::string& text, const std::string& key, const std::string& value) {
  const std::string trimmed(text::TrimAsciiSpace(text));
  if (SchemeLength(trimmed) > 0) return text;
  return trimmed + (trimmed.empty() || trimmed.back() == ';' ? "" : ";") + key + "=" + value;
}

std::string RedactConnectionString(const std::string& text) {
  if (SchemeLength(text::TrimAsciiSpace(text)) > 0) return RedactUri(text);
  std::string out;
  size_t copied = 0;
  for (const Segment& seg : Split(text)) {
    const bool blank =
        text::TrimAsciiSpace(std::string_view(text).substr(seg.begin, seg.end - seg.begin)).empty();
    if (seg.has_equals && !IsPasswordKey(seg.key) && !seg.unterminated) continue;
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

bool KeysEqual(std::string_view a, std::string_view b, KeyRule rule) {
  return NormalizedKey(a, rule) == NormalizedKey(b, rule);
}

bool AsksReadOnly(const ConnectionParameters& params, KeyRule rule) {
  bool read_only = false;
  for (const auto& [key, value] : params.values) {
    if (!KeysEqual(key, kModeKey, rule)) continue;
    if (KeysEqual(value, "ReadOnly", KeyRule::kIgnoreCase)) {
      read_only = true;
    } else if (!KeysEqual(value, "ReadWrite", KeyRule::kIgnoreCase) &&
               !KeysEqual(value, "ReadWriteCreate", KeyRule::kIgnoreCase)) {
      throw Error(err::kBadConnectionString,
                  "The connection string names an unknown Mode (ReadOnly, ReadWrite or "
                  "ReadWriteCreate)",
                  "ADODB.Connection");
    }
  }
  return read_only;
}

bool IsPasswordKey(std::string_view key, bool uri_query) {
  const std::string normalized = NormalizedKey(uri_query ? PercentDecoded(key) : std::string(key),
                                               KeyRule::kIgnoreCaseBlanksAndUnderscores);
  return std::any_of(std::begin(kPasswordKeys), std::end(kPasswordKeys), [&](const char* k) {
    return normalized == NormalizedKey(k, KeyRule::kIgnoreCaseBlanksAndUnderscores);
  });
}

void RefuseUnknownKeys(const ConnectionParameters& params, std::span<const char* const> known,
                       KeyRule rule) {
  // The keys that every provider takes are read with Find: without regard to case only.
  const char* const common[] = {kProviderKey, kPreparedStatementsKey};
  for (const auto& [key, value] : params.values) {
    const std::string own = NormalizedKey(key, rule),
                      plain = NormalizedKey(key, KeyRule::kIgnoreCase);
    const char* nearest = nullptr;
    size_t best = std::string::npos;
    bool found = false;
    auto consider = [&](const char* candidate, KeyRule candidate_rule, const std::string& as) {
      const size_t distance = text::EditDistance(as, NormalizedKey(candidate, candidate_rule));
      found = found || distance == 0;
      if (distance < best) {
        best = distance;
        nearest = candidate;
      }
    };
    for (const char* k : common) consider(k, KeyRule::kIgnoreCase, plain);
    for (const char* k : known) consider(k, rule, own);
    if (found) continue;
    // A nearest key that is far off is no help: name all there are instead.
    std::string advice;
    if (best <= std::max<size_t>(2, plain.size() / 3)) {
      advice = "did you mean '" + std::string(nearest) + "'?";
    } else {
      for (const char* k : common) advice += (advice.empty() ? "" : ", ") + std::string(k);
      for (const char* k : known) advice += ", " + std::string(k);
      advice = "this provider takes " + advice;
    }
    throw Error(err::kBadConnectionString,
                "The connection string is refused: unknown key '" +
                    std::string(text::TrimAsciiSpace(key)) + "'; " + advice,
                "ADODB.Connection");
  }
}

}  // namespace kvt710::db
