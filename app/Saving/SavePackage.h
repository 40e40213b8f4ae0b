#pragma once
// Saving the series "as package": every picture is copied byte for byte, in series order
// starting from a chosen picture, into the destination folder under a new name made of a
// prefix, a zero-padded counter, a suffix and the picture's own extension. Nothing is
// ever replaced without asking, and a failed copy leaves no partial file behind.
//
// No picture is ever lost, whatever the answers, faults, kills or power losses: the
// package is planned first (PackagePlan.h), and a file that holds a picture of the series
// (the file read for it or the picture's own file, which differ for a picture read through
// its temporary copy) is replaced only once every picture it holds is in the package, on
// the disk; where pictures replace each other's files in a cycle, the first displaced one
// is first copied to a free name in the destination. A save that ends with pictures
// missing says which.
//
// The copy loop takes its file operations, the overwrite question, the mapping of a series
// path to the file actually read (a temporary copy of a picture on removable media), the
// progress display and the way file-system work is kept off the window as functions, so
// that it runs the same under tests as in the program. UI thread only.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/VolumeTable.h"

// The saving dialog's entries as the user confirmed them.
struct TSaveEntries {
    QString destination;     // the destination folder
    QString additionalPath;  // a sub-path below it; a leading '/' also means below it
    QString prefix;
    QString suffix;
    int digits = 6;       // counter width, 1 to 6
    QString firstNumber;  // first counter value; text that is no number counts as 1
    QString beginFrom;    // number (1-based) of the picture that comes first; empty: 1
};

// --- Names ---------------------------------------------------------------------------

// Today's short date with every '/', '.' and ':' turned into '-': one folder level.
QString DateFolderName(const QDate& date);
// The date folder, '/', and the time with the same replacements: the default
// additional path, so that every save lands in a folder of its own.
QString TimeStampPath(const QDateTime& now);

// The folder the package goes into, always ending in '/': the destination alone for an
// empty additional path, else the destination and the additional path joined by one '/'
// (a leading '/' of the additional path does not make it absolute).
QString TargetFolder(const QString& destination, const QString& additionalPath);

// The first counter value: firstNumber as an integer, 1 when it is not one.
long long FirstCounter(const QString& firstNumber);
// prefix + counter left-padded with '0' to digits (never cut) + suffix + extension.
QString PackageFileName(const QString& prefix, long long counter, int digits, const QString& suffix,
                        const QString& extension);
// Whether a file can be made at path: every name in it at most NAME_MAX bytes and the
// whole path shorter than PATH_MAX bytes, as the file system will see them.
bool FitsPathLimits(const QString& path);
// Whether path is folder itself or lies below it.
bool IsAtOrBelow(const QString& path, const QString& folder);

// The series' longest extension (in bytes on disk, with its dot); ".jpg" for none.
QString LongestExtension(const QStringList& series);

// --- The copy loop -------------------------------------------------------------------

// File operations; both may run on a thread other than the UI thread.
using TCopyFunction = std::function<platform::CopyResult(
    const QString& source, const QString& target, platform::CopyMode mode)>;
using TMoveFunction = std::function<platform::CopyResult(const QString& from, const QString& to,
                                                         platform::CopyMode mode)>;
// The five-answer question (modal results: 6 Yes, 10 Yes to All, 7 No, 9 No to All,
// 2 Cancel).
using TOverwriteQuestion =
    std::function<int(const QString& text, const QString& caption, const QString& iconName)>;

// What the progress box shows; every member may be left empty.
struct TSaveProgress {
    std::function<void()> show;                 // bar at 0, box up
    std::function<void(const QString&)> label;  // "Copy file '<target>'"
    std::function<void(int)> position;          // 0 to 100
    std::function<void()> hide;                 // after the last picture and every stop
    // Back up as it was after it stepped aside for a question or a message (it stays on
    // top of other windows, so it must not be up while one is).
    std::function<void()> restore;
};

struct TSaveServices {
    TCopyFunction copy;  // empty: platform::CopyFile
    TMoveFunction move;  // empty: platform::MoveFile
    // Runs file-system work (which may wait on a slow or gone medium) and returns once it
    // is done, keeping the window live meanwhile and calling tick (when given) on the
    // calling thread now and then to show the progress; empty: runs the work in place.
    std::function<void(const std::function<void()>& work, const std::function<void()>& tick)>
        offload;
    std::function<QString(const QString&)> readablePath;           // empty: the path itself
    TOverwriteQuestion askOverwrite;                               // empty: ShowQuestion
    std::function<platform::DriveType(const QString&)> driveType;  // empty: the mount table
    std::function<QString(const QString&)> driveOf;                // empty: the mount table
    // The mount point of the file system that holds a path, for the messages about the
    // destination; empty: the mount table, links resolved.
    std::function<QString(const QString&)> fileSystemOf;
    TSaveProgress progress;
};

struct TSaveOutcome {
    QStringList written;   // targets created or replaced, in the order written
    QStringList notSaved;  // series paths of the pictures missing from the package
    // Copies in the destination kept because they hold a picture not saved whose own
    // file was replaced.
    QStringList kept;
    bool stopped = false;
};

// Copies the series as the entries say, asking through the services. When pictures are
// missing from the package at the end, one message says how many of how many were saved
// and which were not.
TSaveOutcome SavePackage(const QStringList& series, const TSaveEntries& entries,
                         TSaveServices services = {});
