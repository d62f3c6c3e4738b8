#pragma once
// The settings descriptors: each names one stored value of the settings store
// (Configuration.h) with its type and default. The numeric kinds, which also
// carry the range they read back within, are in ConfigurationNumbers.h.

#include <string>

class TZelConfiguration;

class TZelConfigurationValue {
public:
  explicit TZelConfigurationValue(std::string identifier = {}, TZelConfiguration *parent = nullptr);
  virtual ~TZelConfigurationValue();
  TZelConfigurationValue(const TZelConfigurationValue &) = delete;
  TZelConfigurationValue &operator=(const TZelConfigurationValue &) = delete;

  const std::string &Identifier() const { return FIdentifier; }
  void SetIdentifier(std::string value) { FIdentifier = std::move(value); }

  TZelConfiguration *GetParentComponent() const { return FParent; }
  bool HasParent() const { return FParent != nullptr; }
  // Moves the descriptor from its old owner's list to the end of the new one's.
  void SetParentComponent(TZelConfiguration *parent);
  bool IsSubComponent() const { return FSubComponent; }

  // Writes the default, also when the stored value already equals it.
  virtual void Reset() = 0;

private:
  TZelConfiguration *FParent = nullptr;
  std::string FIdentifier;
  bool FSubComponent = false;
};

class TZelConfigurationBoolean : public TZelConfigurationValue {
public:
  TZelConfigurationBoolean(std::string identifier, bool defaultValue,
                           TZelConfiguration *parent = nullptr);
  bool Default() const { return FDefault; }
  bool Value() const;
  void SetValue(bool value);
  void Reset() override;

private:
  bool FDefault;
};

class TZelConfigurationString : public TZelConfigurationValue {
public:
  TZelConfigurationString(std::string identifier, std::string defaultValue,
                          TZelConfiguration *parent = nullptr);
  const std::string &Default() const { return FDefault; }
  std::string Value() const;
  void SetValue(const std::string &value);
  void Reset() override;

private:
  std::string FDefault;
};
