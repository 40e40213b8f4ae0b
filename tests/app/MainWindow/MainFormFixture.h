#pragma once
// A main window started the way the program starts it, over a private $TMPDIR, its own
// INI file and a scripted message service, with folders of pictures made for the test.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/AppForms.h"
#include "app/MainWindow/MainForm.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/TestApp.h"

class MainFormTest : public ::testing::Test {
  protected:
    MainFormTest() { EnsureApp(); }

    static void WritePicture(const QString& path);  // a small JPEG
    QString Folder(const QString& name) const;      // made when missing
    QString MakePictures(const QString& folder, const QStringList& names) const;

    // Makes the windows and shows the main one.
    void Start();
    TMainForm& Form() const { return *MainForm; }
    // The tree's change for folder, without waiting for the tree's own delay.
    void OpenFolder(const QString& folder);
    // Runs the work queued by the window (message boxes and list rebuilds).
    static void RunQueued();

    QStringList Captions(const TListView* list) const;
    // Both lists and their labels in one line, each selected row marked with '*':
    // "b.Jpeg* | A.JPG* c.jpg | Total files: 1 | Selected pictures: 2".
    QString Lists() const;
    void SelectFiles(const QStringList& names);
    void AddFiles(const QStringList& names);  // selects them in the folder's list, then Add

    // Declared in the order they must be made; the windows go first.
    QTemporaryDir root_;
    ScopedTmpDir tmp_{root_.path() + "/tmp"};
    TestIni ini_;
    platform::ScriptedMessageService messages_;
    platform::ScopedMessageService scope_{messages_};
    std::unique_ptr<TApplicationForms> forms_;
};
