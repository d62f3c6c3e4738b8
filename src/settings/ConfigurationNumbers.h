#pragma once
// The numeric settings descriptors: integers and floats, each with a kind that
// clamps what it reads to a range, so a hand-edited store cannot push a
// setting outside what the program accepts.

#include <cstdint>
#include <string>

#include "ConfigurationValues.h"

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
