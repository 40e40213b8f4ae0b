#pragma once
// Shared set-up of the window tests: one QApplication for the whole program, a way to act
// on the next modal dialog once it is up, and an INI file of the test's own.

#include <QApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "platform/IniLocation.h"

QApplication& EnsureApp();

// A base for fixtures whose members are widgets: it is made before them.
struct WithApp {
    WithApp() { EnsureApp(); }
};

// Runs action on the next modal dialog as soon as it is shown (polled from the event loop
// the dialog runs), so a test can answer a dialog that a call it makes opens.
void OnNextModal(std::function<void(QWidget*)> action);

// Clicks the dialog's child button of that object name.
void ClickChild(QWidget* dialog, const char* objectName);

// A temporary folder holding the test's INI file, installed for the object's lifetime.
class TestIni {
  public:
    TestIni();
    QString Path() const { return dir_.path() + "/test.ini"; }
    const QTemporaryDir& Dir() const { return dir_; }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<platform::ScopedIniFilePath> scope_;
};
