#pragma once

#include <QString>

// Why a download stopped, from the engine's interrupt reason, and what the
// user is told of it.
namespace StopReason {

// The engine's interrupt reasons (Chromium's download interrupt codes). Qt
// names most of them; the two it leaves unnamed are named here.
enum Code : int {
    None = 0,
    FileFailed = 1,
    FileAccessDenied = 2,
    FileNoSpace = 3,
    FileNameTooLong = 5,
    FileTooLarge = 6,
    FileVirusInfected = 7,
    FileTransientError = 10,
    FileBlocked = 11,
    FileSecurityCheckFailed = 12,
    FileTooShort = 13,
    FileHashMismatch = 14,
    NetworkFailed = 20,
    NetworkTimeout = 21,
    NetworkDisconnected = 22,
    NetworkServerDown = 23,
    NetworkInvalidRequest = 24,
    ServerFailed = 30,
    ServerNoRange = 31, // the server would not continue from where it stopped
    ServerBadContent = 33,
    ServerUnauthorized = 34,
    ServerCertProblem = 35,
    ServerForbidden = 36,
    ServerUnreachable = 37,
    ServerContentLengthMismatch = 38, // it sent less than it announced: the connection broke
    UserCanceled = 40,
};

enum class Kind {
    NoSpace,
    Unwritable, // the folder or the file system would not take the data
    Blocked,    // by the system's own checks
    Network,    // the connection broke: worth one more try
    BadAddress,
    Server, // the server refused; its HTTP status tells more
    Cancelled,
    Other,
};

Kind classify(int code);

// The reason in words, for the folder the download was saved to and the
// server's HTTP status when one is known.
QString text(int code, const QString &folder, int httpStatus = 0);
// A download that would not fit: its size (0 or less when unknown), the
// folder and the space its disk has free, of which the program keeps
// DownloadFolder::SpareBytes for the rest of the desktop.
QString noSpaceText(qint64 total, const QString &folder, qint64 freeBytes);
QString unwritableText(const QString &folder);
// Complete, but it could not be moved to its name: the data is kept at kept.
QString notMovedText(const QString &folder, const QString &kept);
// What 重试 or 继续 brought is not the file that was begun.
QString notTheFileText();                        // a web page where the file was
QString otherLengthText(qint64 was, qint64 now); // another length
QString changedText();                           // other validators

// How the program's own ranged request for the rest of a download ended.
enum class Fetch {
    Complete,   // the partial file holds the whole download
    Broken,     // the connection broke off; another try continues
    Changed,    // the server's file is not the one begun
    NoRanges,   // the server sends only whole files
    Expired,    // the link is no longer valid (403, 404, 410)
    Refused,    // another error status
    WriteError, // the partial file could not be written
};
// Why such a fetch stopped short, for the folder and the HTTP status.
QString fetchText(Fetch outcome, const QString &folder, int httpStatus);
// Whether only the download's file page can start it again then: never a
// file of two versions.
bool restartsFromPage(Fetch outcome);

// The texts of the other stops.
QString engineGaveUpText();       // the engine cancelled it by itself
QString earlierRunText();         // unfinished when the program last ended
QString fromItsAddressText();     // 重试: started again from its address
QString fromItsPageText();        // 继续: started again from its file page
QString downloadingAlreadyText(); // a click whose file is downloading already

} // namespace StopReason
