#pragma once
// The QApplication of a test program that shows panels: made before the first test and
// destroyed after the last. Register it once per program:
//   const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtTestApp("name"));

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>
#include <utility>

class QtTestApp : public ::testing::Environment {
  public:
    explicit QtTestApp(std::string name) : name_(std::move(name)) {}

    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    // QApplication keeps references to both for its whole life.
    std::string name_;
    int argc_ = 1;
    char* argv_[2] = {name_.data(), nullptr};
    std::unique_ptr<QApplication> app_;
};
