#include "Configuration.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <pwd.h>
#include <unistd.h>

#include "core/Numbers.h"

// The file keeps every value with its type, one value per line:
//
//   BRENNIX-SETTINGS 1
//   dword<TAB>MicroFocusSize<TAB>200
//   sz<TAB>HeadMove<TAB>G1 X? Y?
//   binary<TAB>IdleTravel<TAB>0000000000005940
//   END
//
// Names and strings escape the backslash and control characters as \\ and
// \xHH, so a value can never break its line. The closing END line tells a
// complete file from one cut short; a file that does not parse in full is
// treated as empty, and every read then gives its default.

namespace {

enum TStoredType : std::uint8_t { stDword, stString, stExpandString, stBinary };

struct TStoredValue {
  TStoredType Type;
  std::string Name;
  std::string Data; // dword: 4 bytes little-endian; strings: text; binary: bytes
};

constexpr std::string_view Header = "BRENNIX-SETTINGS 1";
constexpr std::string_view Footer = "END";

// The one store of the process: where it lives, looked up on first use.
// Written only under FLock, from whichever thread uses the settings.
struct TStoreState {
  std::mutex Lock;
  bool Opened = false;
  std::string Path;
  std::optional<std::string> KeyName;
};
TStoreState Store;

const char *TypeName(TStoredType type) {
  switch (type) {
  case stDword:
    return "dword";
  case stString:
    return "sz";
  case stExpandString:
    return "expand_sz";
  case stBinary:
    return "binary";
  }
  return "";
}

std::optional<TStoredType> TypeFromName(std::string_view name) {
  for (auto type : {stDword, stString, stExpandString, stBinary})
    if (name == TypeName(type))
      return type;
  return std::nullopt;
}

std::string Escape(std::string_view text) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      result += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      result += "\\x";
      result += Hex[byte >> 4];
      result += Hex[byte & 15];
    } else {
      result += c;
    }
  }
  return result;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      result += '\\';
      ++i;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
               HexDigit(text[i + 3]) >= 0) {
      result += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return result;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string result;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    result += Hex[byte >> 4];
    result += Hex[byte & 15];
  }
  return result;
}

std::optional<std::string> FromHex(std::string_view text) {
  if (text.size() % 2 != 0)
    return std::nullopt;
  std::string result;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0)
      return std::nullopt;
    result += static_cast<char>(high * 16 + low);
  }
  return result;
}

std::string DwordBytes(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xff);
  return bytes;
}

std::int32_t DwordValue(const std::string &bytes) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i)
    bits = bits << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  return static_cast<std::int32_t>(bits);
}

std::string DoubleBytes(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xff);
  return bytes;
}

double DoubleValue(const std::string &bytes) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = bits << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  return std::bit_cast<double>(bits);
}

bool SameName(std::string_view a, std::string_view b) {
  // Value names compare without regard to ASCII case, as registry names do.
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::optional<TStoredValue> ParseLine(std::string_view line) {
  const auto first = line.find('\t');
  if (first == std::string_view::npos)
    return std::nullopt;
  const auto second = line.find('\t', first + 1);
  if (second == std::string_view::npos)
    return std::nullopt;
  const auto type = TypeFromName(line.substr(0, first));
  const auto name = Unescape(line.substr(first + 1, second - first - 1));
  const std::string_view data = line.substr(second + 1);
  if (!type || !name)
    return std::nullopt;
  TStoredValue value{*type, *name, {}};
  switch (*type) {
  case stDword: {
    const auto number = ParseInteger<std::int32_t>(data);
    if (!number)
      return std::nullopt;
    value.Data = DwordBytes(*number);
    break;
  }
  case stString:
  case stExpandString: {
    auto text = Unescape(data);
    if (!text)
      return std::nullopt;
    value.Data = std::move(*text);
    break;
  }
  case stBinary: {
    auto bytes = FromHex(data);
    if (!bytes)
      return std::nullopt;
    value.Data = std::move(*bytes);
    break;
  }
  }
  return value;
}

// Everything the file holds, or nothing when it is missing, damaged or cut short.
std::vector<TStoredValue> ParseStore(const QByteArray &content) {
  std::vector<TStoredValue> values;
  std::string_view text(content.constData(), static_cast<std::size_t>(content.size()));
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos)
      return {}; // every line, the last one too, ends with a line break
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() < 2 || lines.front() != Header || lines.back() != Footer)
    return {};
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    auto value = ParseLine(lines[i]);
    if (!value)
      return {};
    for (const auto &earlier : values)
      if (SameName(earlier.Name, value->Name))
        return {};
    values.push_back(std::move(*value));
  }
  return values;
}

QByteArray FormatStore(const std::vector<TStoredValue> &values) {
  std::string text(Header);
  text += '\n';
  for (const auto &value : values) {
    text += TypeName(value.Type);
    text += '\t';
    text += Escape(value.Name);
    text += '\t';
    switch (value.Type) {
    case stDword: {
      char buffer[16];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, DwordValue(value.Data));
      text.append(buffer, result.ptr);
      break;
    }
    case stString:
    case stExpandString:
      text += Escape(value.Data);
      break;
    case stBinary:
      text += ToHex(value.Data);
      break;
    }
    text += '\n';
  }
  text += Footer;
  text += '\n';
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ExecutableFileName() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return "brennix";
  return path.filename().string();
}

std::string ConfigFolder() {
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    return xdg;
  std::string home;
  if (const char *env = std::getenv("HOME"); env && env[0] != '\0')
    home = env;
  else if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
    home = entry->pw_dir;
  if (home.empty())
    return {};
  return home + "/.config";
}

// A write killed while its temporary had a name (QSaveFile names it
// "<store>.XXXXXX" while it renames it over the store) leaves that file
// behind; the next program to open the store removes it. The window is the
// only writer and opens the store before it writes, so what is found here is
// no live write of its own.
void RemoveStaleTemporaries(const std::string &path) {
  if (path.empty())
    return;
  const QFileInfo store(QString::fromStdString(path));
  const QString prefix = store.fileName() + ".";
  QDir folder = store.dir();
  for (const QString &name : folder.entryList({prefix + "??????"}, QDir::Files | QDir::Hidden)) {
    const QString suffix = name.mid(prefix.size());
    if (std::all_of(suffix.begin(), suffix.end(),
                    [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
      folder.remove(name);
  }
}

// Looks the store's place up on first use and keeps it until CloseStore.
std::string OpenSettingsKey() {
  std::lock_guard lock(Store.Lock);
  if (!Store.Opened) {
    const std::string name = Store.KeyName
                                 ? *Store.KeyName
                                 : TZelConfiguration::KeyNameFromExecutable(ExecutableFileName());
    const std::string folder = ConfigFolder();
    Store.Path = folder.empty() ? std::string() : folder + "/" + name + ".conf";
    Store.Opened = true;
    RemoveStaleTemporaries(Store.Path);
  }
  return Store.Path;
}

std::vector<TStoredValue> LoadStore(const std::string &path) {
  if (path.empty())
    return {};
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return ParseStore(file.readAll());
}

std::optional<TStoredValue> Find(const std::string &ident) {
  for (auto &value : LoadStore(OpenSettingsKey()))
    if (SameName(value.Name, ident))
      return std::move(value);
  return std::nullopt;
}

[[noreturn]] void Refused(const std::string &ident) {
  throw TSettingsError("Failed to set data for '" + ident + "'");
}

void SaveStore(const std::string &path, const std::vector<TStoredValue> &values,
               const std::string &ident) {
  if (path.empty())
    Refused(ident);
  const QString fileName = QString::fromStdString(path);
  if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
    Refused(ident);
  // Written beside the target and renamed over it, so a crash never tears it.
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    Refused(ident);
  const QByteArray content = FormatStore(values);
  if (file.write(content) != content.size() || !file.commit())
    Refused(ident);
}

void StoreValue(const std::string &ident, TStoredType type, std::string data) {
  const std::string path = OpenSettingsKey();
  auto values = LoadStore(path);
  auto existing = std::find_if(values.begin(), values.end(), [&](const TStoredValue &value) {
    return SameName(value.Name, ident);
  });
  if (existing != values.end()) {
    existing->Type = type;
    existing->Data = std::move(data);
  } else {
    values.push_back({type, ident, std::move(data)});
  }
  SaveStore(path, values, ident);
}

} // namespace

// ---------------------------------------------------------------------------
// The configuration and its store

TZelConfiguration::TZelConfiguration() = default;

TZelConfiguration::~TZelConfiguration() {
  while (!FValues.empty()) {
    TZelConfigurationValue *value = FValues.front();
    value->SetParentComponent(nullptr);
    delete value;
  }
}

std::int32_t TZelConfiguration::ReadInteger(const std::string &ident, std::int32_t defaultValue) {
  const auto value = Find(ident);
  if (!value || value->Type != stDword)
    return defaultValue;
  return DwordValue(value->Data);
}

bool TZelConfiguration::ReadBool(const std::string &ident, bool defaultValue) {
  const auto value = Find(ident);
  if (!value || value->Type != stDword)
    return defaultValue;
  return DwordValue(value->Data) != 0;
}

std::string TZelConfiguration::ReadString(const std::string &ident,
                                          const std::string &defaultValue) {
  const auto value = Find(ident);
  if (!value || (value->Type != stString && value->Type != stExpandString))
    return defaultValue;
  return value->Data;
}

double TZelConfiguration::ReadFloat(const std::string &ident, double defaultValue) {
  const auto value = Find(ident);
  if (!value || value->Type != stBinary || value->Data.size() != 8)
    return defaultValue;
  return DoubleValue(value->Data);
}

TDateTime TZelConfiguration::ReadDateTime(const std::string &ident, TDateTime defaultValue) {
  return ReadFloat(ident, defaultValue);
}

TDateTime TZelConfiguration::ReadDate(const std::string &ident, TDateTime defaultValue) {
  return std::trunc(ReadDateTime(ident, defaultValue));
}

TDateTime TZelConfiguration::ReadTime(const std::string &ident, TDateTime defaultValue) {
  double whole = 0;
  return std::modf(ReadDateTime(ident, defaultValue), &whole);
}

void TZelConfiguration::WriteInteger(const std::string &ident, std::int32_t value) {
  StoreValue(ident, stDword, DwordBytes(value));
}

void TZelConfiguration::WriteBool(const std::string &ident, bool value) {
  WriteInteger(ident, value ? 1 : 0);
}

void TZelConfiguration::WriteString(const std::string &ident, const std::string &value) {
  StoreValue(ident, stString, value);
}

void TZelConfiguration::WriteExpandString(const std::string &ident, const std::string &value) {
  StoreValue(ident, stExpandString, value);
}

void TZelConfiguration::WriteFloat(const std::string &ident, double value) {
  StoreValue(ident, stBinary, DoubleBytes(value));
}

void TZelConfiguration::WriteDateTime(const std::string &ident, TDateTime value) {
  WriteFloat(ident, value);
}

void TZelConfiguration::WriteDate(const std::string &ident, TDateTime value) {
  WriteFloat(ident, value);
}

void TZelConfiguration::WriteTime(const std::string &ident, TDateTime value) {
  WriteFloat(ident, value);
}

void TZelConfiguration::WriteBinary(const std::string &ident, const std::string &bytes) {
  StoreValue(ident, stBinary, bytes);
}

void TZelConfiguration::DeleteKey(const std::string &ident) {
  const std::string path = OpenSettingsKey();
  auto values = LoadStore(path);
  const auto before = values.size();
  std::erase_if(values, [&](const TStoredValue &value) { return SameName(value.Name, ident); });
  if (values.size() == before)
    return;
  try {
    SaveStore(path, values, ident);
  } catch (const TSettingsError &) {
    // Deleting reports nothing, as deleting a missing value does.
  }
}

std::string TZelConfiguration::KeyNameFromExecutable(const std::string &fileName) {
  const auto slash = fileName.find_last_of('/');
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  return name.substr(0, name.find('.'));
}

void TZelConfiguration::SetKeyName(const std::string &name) {
  std::lock_guard lock(Store.Lock);
  Store.KeyName = name;
  Store.Opened = false;
}

std::string TZelConfiguration::StorePath() { return OpenSettingsKey(); }

void TZelConfiguration::CloseStore() {
  std::lock_guard lock(Store.Lock);
  Store.Opened = false;
  Store.Path.clear();
}
