#include "ConfigurationNumbers.h"

#include <cmath>

#include "Configuration.h"

namespace {

template <typename T> T Clamp(T value, T minimum, T maximum) {
  // Below the minimum first, so an inverted range reads as its minimum.
  if (value < minimum)
    return minimum;
  if (value > maximum)
    return maximum;
  return value;
}

} // namespace

TZelConfigurationInteger::TZelConfigurationInteger(std::string identifier,
                                                   std::int32_t defaultValue,
                                                   TZelConfiguration *parent)
    : TZelConfigurationValue(std::move(identifier), parent), FDefault(defaultValue) {}

std::int32_t TZelConfigurationInteger::Value() const {
  return TZelConfiguration::ReadInteger(Identifier(), FDefault);
}

void TZelConfigurationInteger::SetValue(std::int32_t value) {
  TZelConfiguration::WriteInteger(Identifier(), value);
}

void TZelConfigurationInteger::Reset() { SetValue(FDefault); }

TZelConfigurationIntegerRange::TZelConfigurationIntegerRange(std::string identifier,
                                                             std::int32_t defaultValue,
                                                             std::int32_t minimum,
                                                             std::int32_t maximum,
                                                             TZelConfiguration *parent)
    : TZelConfigurationInteger(std::move(identifier), defaultValue, parent), FMaximum(maximum),
      FMinimum(minimum) {}

std::int32_t TZelConfigurationIntegerRange::Value() const {
  return Clamp(TZelConfigurationInteger::Value(), FMinimum, FMaximum);
}

TZelConfigurationFloat::TZelConfigurationFloat(std::string identifier, double defaultValue,
                                               TZelConfiguration *parent)
    : TZelConfigurationValue(std::move(identifier), parent), FDefault(defaultValue) {}

double TZelConfigurationFloat::Value() const {
  return TZelConfiguration::ReadFloat(Identifier(), FDefault);
}

void TZelConfigurationFloat::SetValue(double value) {
  TZelConfiguration::WriteFloat(Identifier(), value);
}

void TZelConfigurationFloat::Reset() { SetValue(FDefault); }

TZelConfigurationFloatRange::TZelConfigurationFloatRange(std::string identifier,
                                                         double defaultValue, double minimum,
                                                         double maximum, TZelConfiguration *parent)
    : TZelConfigurationFloat(std::move(identifier), defaultValue, parent), FMaximum(maximum),
      FMinimum(minimum) {}

double TZelConfigurationFloatRange::Value() const {
  const double value = TZelConfigurationFloat::Value();
  if (std::isnan(value))
    return FMinimum;
  return Clamp(value, FMinimum, FMaximum);
}
