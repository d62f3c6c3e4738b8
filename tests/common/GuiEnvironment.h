#pragma once
// The application object a test executable needs when its readers draw text
// with Qt's font machinery: offscreen, so no display is needed. Register it
// once per executable with AddGlobalTestEnvironment.

#include <memory>
#include <string>

#include <QGuiApplication>
#include <gtest/gtest.h>

class TGuiEnvironment : public ::testing::Environment {
public:
  explicit TGuiEnvironment(std::string name) : FName(std::move(name)) {}
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    FArgv[0] = FName.data();
    FApplication = std::make_unique<QGuiApplication>(FArgc, FArgv);
  }
  void TearDown() override { FApplication.reset(); }

private:
  int FArgc = 1;
  std::string FName;
  char *FArgv[2] = {nullptr, nullptr};
  std::unique_ptr<QGuiApplication> FApplication;
};
