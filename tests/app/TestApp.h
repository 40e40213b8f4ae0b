#pragma once
// Shared set-up of the tests: one QApplication for the whole program, a way to act on the
// next modal dialog once it is up, an INI file and a $TMPDIR of the test's own.

#include <QApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "platform/IniLocation.h"
#include "platform/testing/ScriptedMessageService.h"

QApplication& EnsureApp();

// Runs action on the next modal dialog as soon as it is shown (polled from the event loop
// the dialog runs), so a test can answer a dialog that a call it makes opens.
void OnNextModal(std::function<void(QWidget*)> action);

// Clicks the dialog's child button of that object name.
void ClickChild(QWidget* dialog, const char* objectName);

// The texts of every box the service was asked to show, in order.
QStringList BoxTexts(const platform::ScriptedMessageService& messages);

// The whole file's bytes; "<missing>" when it cannot be read.
QByteArray FileBytes(const QString& path);
// Writes bytes as the whole file; a failure fails the running test.
void WriteFileBytes(const QString& path, const QByteArray& bytes);

// A temporary folder holding the test's INI file, installed for the object's lifetime.
class TestIni {
  public:
    TestIni();
    QString Path() const { return dir_.path() + "/test.ini"; }
    void Write(const QString& section, const QString& key, const QString& value) const;
    QString Read(const QString& section, const QString& key) const;  // "<none>" when missing

  private:
    QTemporaryDir dir_;
    std::unique_ptr<platform::ScopedIniFilePath> scope_;
};

// Points $TMPDIR at folder (made when missing) for the object's lifetime.
class ScopedTmpDir {
  public:
    explicit ScopedTmpDir(const QString& folder);
    ~ScopedTmpDir();
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

  private:
    std::optional<QByteArray> previous_;
};
