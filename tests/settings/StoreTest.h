#pragma once
// Every settings test gets its own empty config folder and a fresh look-up
// of the store, so no test sees another's values or the user's own.

#include <fstream>
#include <sstream>
#include <string>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "settings/Configuration.h"

class TStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FFolder.isValid());
    setenv("XDG_CONFIG_HOME", FFolder.path().toStdString().c_str(), 1);
    TZelConfiguration::SetKeyName("brennix-test");
    TZelConfiguration::CloseStore();
  }
  void TearDown() override { TZelConfiguration::CloseStore(); }

  std::string Path() const { return FFolder.path().toStdString() + "/brennix-test.conf"; }
  std::string FileText() const {
    std::ifstream file(Path(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  void WriteFile(const std::string &text) const { std::ofstream(Path(), std::ios::binary) << text; }

  QTemporaryDir FFolder;
};
