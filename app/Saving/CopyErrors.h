#pragma once
// The copy failures the save tells apart, and what it shows and does for each. Every
// message names what is at fault: the file (the source when reading it failed, the file
// being written otherwise) in front of the system's text, the destination folder when it
// is missing, its file system when it is full or write-protected.

#include <QString>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/MessageService.h"

// The numbers are the error codes the save has always reported them by.
enum class TCopyError : int {
    None = 0,
    FileNotFound = 2,
    PathNotFound = 3,
    AccessDenied = 5,
    OutOfMemory = 14,
    InvalidDrive = 15,
    NotSameDevice = 17,
    WriteProtected = 19,
    NotReady = 21,
    DiskFull = 39,
    RemoteNotAvailable = 51,
    NetworkPathNotFound = 53,
    NetworkBusy = 54,
    NetworkGone = 55,
    NetworkAccessDenied = 65,
    FileExists = 80,
    Other = -1,
};

// The errno of a failed copy step, read together with the step: a missing file is the
// source when opening it failed, and the target's folder otherwise.
TCopyError CopyErrorOf(const platform::CopyResult& result);

// Whether the failure lies with the file read (else with the file written).
bool IsSourceFault(const platform::CopyResult& result);

// Why a copy failed, in words: the system's description of the errno.
QString FailureReason(const platform::CopyResult& result);

enum class TErrorAction {
    Stop,          // the destination or its device is unusable: one message, then stop
    Continue,      // this picture is lost; the others may still go
    AskContinue,   // the user decides: Yes goes on with the next picture, No stops
    AskOverwrite,  // the target exists: the overwrite question
};

struct TCopyErrorReport {
    QString text;
    QString caption;
    std::vector<platform::MsgButton> buttons;
    platform::MsgIcon icon = platform::MsgIcon::None;
    TErrorAction action = TErrorAction::Continue;
};

// What failed and where, for the message.
struct TCopyFault {
    TCopyError error = TCopyError::Other;
    QString file;              // the full path of the file at fault
    QString destinationField;  // the destination as the dialog shows it
    QString fileSystem;        // the mount point of the destination's file system
    QString reason;            // why, for "Can't copy file!"
};

TCopyErrorReport CopyErrorReport(const TCopyFault& fault);
