#pragma once

#include <QString>
#include <QUrl>

// What the download list asks of the desktop, each a small call that does
// nothing (and logs nothing) where the desktop offers no such service.
namespace Desktop {

// How long a desktop service is waited for: a file manager or notification
// server started for the call takes a few seconds.
constexpr int AnswerMs = 5000;

// Opens a file with its default application.
void openFile(const QString &path);
// Selects the file in the file manager (org.freedesktop.FileManager1
// ShowItems over D-Bus); opens its folder where no file manager takes the
// call, or it fails, but not when it is only slower than answerMs.
void showInFolder(const QString &path, int answerMs = AnswerMs);
// A desktop notification (org.freedesktop.Notifications) offering 打开 and
// 打开所在文件夹 for path when it is a finished file. body is plain text,
// shown as such whether or not the server reads markup.
void notify(const QString &summary, const QString &body, const QString &path, bool finished);

} // namespace Desktop
