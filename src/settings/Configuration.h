#pragma once
// The per-user settings store: typed values under one name per program, and
// descriptors that give each setting its identifier, default and range.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// A write the store refused: "Failed to set data for 'Name'".
class TSettingsError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

#include "ConfigurationNumbers.h"
#include "ConfigurationValues.h"

// Owns its descriptors; the class-level operations address the one store of
// this program. Used from one thread at a time.
class TZelConfiguration {
public:
  TZelConfiguration();
  ~TZelConfiguration();
  TZelConfiguration(const TZelConfiguration &) = delete;
  TZelConfiguration &operator=(const TZelConfiguration &) = delete;

  // The descriptors in the order they were attached.
  const std::vector<TZelConfigurationValue *> &GetChildren() const { return FValues; }

  static std::int32_t ReadInteger(const std::string &ident, std::int32_t defaultValue);
  static bool ReadBool(const std::string &ident, bool defaultValue);
  static std::string ReadString(const std::string &ident, const std::string &defaultValue);
  static double ReadFloat(const std::string &ident, double defaultValue);
  // The date-time kinds keep the store readable by its other users; the program's own
  // settings are integers, floats and strings.
  static TDateTime ReadDateTime(const std::string &ident, TDateTime defaultValue);
  static TDateTime ReadDate(const std::string &ident, TDateTime defaultValue);
  static TDateTime ReadTime(const std::string &ident, TDateTime defaultValue);

  // Each throws TSettingsError when the store refuses the write.
  static void WriteInteger(const std::string &ident, std::int32_t value);
  static void WriteBool(const std::string &ident, bool value);
  static void WriteString(const std::string &ident, const std::string &value);
  // A string the store marks as expandable; read back as stored, unexpanded.
  static void WriteExpandString(const std::string &ident, const std::string &value);
  static void WriteFloat(const std::string &ident, double value);
  static void WriteDateTime(const std::string &ident, TDateTime value);
  static void WriteDate(const std::string &ident, TDateTime value);
  static void WriteTime(const std::string &ident, TDateTime value);
  // Raw binary data of any length (other programs, older versions).
  static void WriteBinary(const std::string &ident, const std::string &bytes);
  // Deletes the named value; a missing one is not an error.
  static void DeleteKey(const std::string &ident);

  // The store's name: the executable's file name up to its first full stop.
  static std::string KeyNameFromExecutable(const std::string &fileName);
  // Uses this name instead of the executable's (brennix-cli shares the
  // window's store as "brennix"). Takes effect at the next open.
  static void SetKeyName(const std::string &name);
  // The file that holds the store: $XDG_CONFIG_HOME (else ~/.config) / name.conf;
  // empty when no folder can be found.
  static std::string StorePath();
  // Forgets the opened store, so the next access looks up its place again.
  static void CloseStore();

private:
  friend class TZelConfigurationValue;
  std::vector<TZelConfigurationValue *> FValues;
};
