#pragma once
// The settings descriptors: each names one stored value of the settings store
// (Configuration.h), with its type, default and, for numbers, the range it
// reads back within.

#include <cstdint>
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

class TZelConfigurationInteger : public TZelConfigurationValue {
public:
  TZelConfigurationInteger(std::string identifier, std::int32_t defaultValue,
                           TZelConfiguration *parent = nullptr);
  std::int32_t Default() const { return FDefault; }
  virtual std::int32_t Value() const;
  void SetValue(std::int32_t value);
  void Reset() override;

private:
  std::int32_t FDefault;
};

// Clamps what it reads; writes are stored as given.
class TZelConfigurationIntegerRange : public TZelConfigurationInteger {
public:
  TZelConfigurationIntegerRange(std::string identifier, std::int32_t defaultValue,
                                std::int32_t minimum, std::int32_t maximum,
                                TZelConfiguration *parent = nullptr);
  std::int32_t Minimum() const { return FMinimum; }
  std::int32_t Maximum() const { return FMaximum; }
  std::int32_t Value() const override;

private:
  std::int32_t FMaximum, FMinimum;
};

class TZelConfigurationFloat : public TZelConfigurationValue {
public:
  TZelConfigurationFloat(std::string identifier, double defaultValue,
                         TZelConfiguration *parent = nullptr);
  double Default() const { return FDefault; }
  virtual double Value() const;
  void SetValue(double value);
  void Reset() override;

private:
  double FDefault;
};

// Clamps what it reads (NaN reads as Minimum); writes are stored as given.
class TZelConfigurationFloatRange : public TZelConfigurationFloat {
public:
  TZelConfigurationFloatRange(std::string identifier, double defaultValue, double minimum,
                              double maximum, TZelConfiguration *parent = nullptr);
  double Minimum() const { return FMinimum; }
  double Maximum() const { return FMaximum; }
  double Value() const override;

private:
  double FMaximum, FMinimum;
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
