#include "ConfigurationValues.h"

#include <algorithm>

#include "Configuration.h"

TZelConfigurationValue::TZelConfigurationValue(std::string identifier, TZelConfiguration *parent)
    : FIdentifier(std::move(identifier)) {
  SetParentComponent(parent);
}

TZelConfigurationValue::~TZelConfigurationValue() { SetParentComponent(nullptr); }

void TZelConfigurationValue::SetParentComponent(TZelConfiguration *parent) {
  if (FParent) {
    auto &list = FParent->FValues;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = parent;
  if (FParent)
    FParent->FValues.push_back(this);
  FSubComponent = FParent != nullptr;
}

TZelConfigurationBoolean::TZelConfigurationBoolean(std::string identifier, bool defaultValue,
                                                   TZelConfiguration *parent)
    : TZelConfigurationValue(std::move(identifier), parent), FDefault(defaultValue) {}

bool TZelConfigurationBoolean::Value() const {
  return TZelConfiguration::ReadBool(Identifier(), FDefault);
}

void TZelConfigurationBoolean::SetValue(bool value) {
  TZelConfiguration::WriteBool(Identifier(), value);
}

void TZelConfigurationBoolean::Reset() { SetValue(FDefault); }

TZelConfigurationString::TZelConfigurationString(std::string identifier, std::string defaultValue,
                                                 TZelConfiguration *parent)
    : TZelConfigurationValue(std::move(identifier), parent), FDefault(std::move(defaultValue)) {}

std::string TZelConfigurationString::Value() const {
  return TZelConfiguration::ReadString(Identifier(), FDefault);
}

void TZelConfigurationString::SetValue(const std::string &value) {
  TZelConfiguration::WriteString(Identifier(), value);
}

void TZelConfigurationString::Reset() { SetValue(FDefault); }
