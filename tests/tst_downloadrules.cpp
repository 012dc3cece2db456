// The downloads' rules without the engine: the names files are saved under,
// why a download stopped, and the texts an entry composes.
#include <cerrno>
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>

#include "DownloadEntry.h"
#include "DownloadFolder.h"
#include "DownloadJournal.h"
#include "FakeDownloads.h"
#include "FileIdentity.h"
#include "FileNames.h"
#include "PartialSweep.h"
#include "StopReason.h"

using State = DownloadEntry::State;

class DownloadRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.emplace(); }

    void fileNames_data()
    {
        QTest::addColumn<QString>("suggested");
        // The name reserved in a folder holding "a.tar.gz". (tst_transfers'
        // model fails for a dangling link at a partial file's name, and for
        // a taken name holding "%1".)
        QTest::addColumn<QString>("saved");
        // clang-format off
        QTest::newRow("path") << QStringLiteral("../../etc/passwd") << QStringLiteral("passwd");
        QTest::newRow("backslashes") << QStringLiteral("..\\..\\a.exe") << QStringLiteral("a.exe");
        QTest::newRow("only dots") << QStringLiteral("..") << QStringLiteral("download");
        QTest::newRow("nothing") << QString() << QStringLiteral("download");
        QTest::newRow("plain") << QStringLiteral("资料 1.zip") << QStringLiteral("资料 1.zip");
        QTest::newRow("taken") << QStringLiteral("a.tar.gz") << QStringLiteral("a (1).tar.gz");
        QTest::newRow("zero width, BOM, isolates, controls") << QStringLiteral("\uFEFFa\u200Bb\u2066c\u2069\r\nd\u0007.pdf") << QStringLiteral("abcd.pdf");
        QTest::newRow("launcher") << QStringLiteral("run.Desktop ") << QStringLiteral("run.Desktop.txt");
        QTest::newRow("a volume shortened") << QString(80, u'很') + QStringLiteral(".part1.rar") << QString(73, u'很') + QStringLiteral(".part1.rar");
        QTest::newRow("launcher once shortened") << QString(221, u'a') + QStringLiteral(".desktop") + QString(60, u'b') << QString(217, u'a') + QStringLiteral(".desktop.txt");
        // clang-format on
    }

    void fileNames()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, saved);
        QVERIFY(QFile(m_dir->filePath(QStringLiteral("a.tar.gz"))).open(QIODevice::NewOnly));
        const auto reserved = DownloadFolder::reserveFile(m_dir->path(), FileNames::sanitize(suggested));
        QCOMPARE(reserved.path, m_dir->filePath(saved));
        // Reserved by its partial file; nothing under the name itself.
        QCOMPARE(FileIdentity::of(DownloadFolder::reservedPath(reserved.path)), reserved.reserved);
        QVERIFY(reserved.reserved.isValid() && !QFileInfo::exists(reserved.path));
    }

    // What the journal says is checked against the disk; "@" stands for the folder.
    void journal_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("onDisk");   // bytes in the partial file; -1: none
        QTest::addColumn<qint64>("bytes"); // as read; -1: the entry is dropped
        // "#" stands for the identity of the partial file, "$" for that of one
        // made at another time.
        const QByteArray entry = "{\"url\":\"http://s/d/1\",\"page\":\"http://s/f/1.html\",\"title\":\"t\","
                                 "\"path\":\"@/a.zip\",\"partial\":\"@/a.zip.part.download\",\"bytes\":5000,"
                                 "\"total\":8000,\"etag\":\"\\\"x\\\"\",\"files\":{\"data\":#}";
        const QByteArray journal = "{\"format\":2,\"downloads\":[" + entry + "}]}";
        // clang-format off
        QTest::newRow("as written") << journal << 5000 << qint64(5000);
        QTest::newRow("unknown fields") << QByteArray("{\"format\":2,\"new\":2,\"downloads\":[" + entry + ",\"x\":[1]}]}") << 5000 << qint64(5000);
        QTest::newRow("torn") << journal.left(journal.size() - 9) << 5000 << qint64(-1);
        QTest::newRow("the earlier version's") << QByteArray(journal).replace("\"format\":2", "\"format\":1").replace(",\"files\":{\"data\":#}", "") << 5000 << qint64(5000);
        QTest::newRow("another format") << QByteArray(journal).replace("\"format\":2", "\"format\":3") << 5000 << qint64(-1);
        QTest::newRow("another file there since") << QByteArray(journal).replace("#", "[\"1\",\"1\"]") << 5000 << qint64(-1);
        QTest::newRow("another file of its inode since") << QByteArray(journal).replace("#", "$") << 5000 << qint64(-1);
        QTest::newRow("partial gone") << journal << -1 << qint64(-1);
        QTest::newRow("more than the whole file") << journal << 9000 << qint64(-1);
        QTest::newRow("partial not its own") << QByteArray(journal).replace("@/a.zip.part.download", "@/b.txt") << 5000 << qint64(-1);
        const QByteArray complete = QByteArray(journal).replace("\"bytes\":5000", "\"bytes\":8000,\"complete\":true");
        QTest::newRow("complete") << complete << 8000 << qint64(8000);
        QTest::newRow("complete, but cut short") << complete << 5000 << qint64(5000);
        QTest::newRow("not a web address") << QByteArray(journal).replace("http://s/d/1", "file:///etc/passwd") << 5000 << qint64(-1);
        // clang-format on
    }
    void journal()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, onDisk);
        QFETCH(qint64, bytes);
        const DownloadJournal journal(m_dir->filePath(QStringLiteral("downloads.json")));
        for (const char *name : {"a.zip.part.download", "b.txt"}) {
            QFile partial(m_dir->filePath(QLatin1String(name)));
            QVERIFY(onDisk < 0 || (partial.open(QIODevice::WriteOnly) && partial.resize(onDisk)));
        }
        const FileIdentity data = FileIdentity::of(m_dir->filePath(QStringLiteral("a.zip.part.download")));
        const auto identity = [&data](qint64 born) {
            return QStringLiteral("[\"%1\",\"%2\",\"%3\"]").arg(data.device).arg(data.inode).arg(born).toUtf8();
        };
        if (text.contains('$') && data.born == 0)
            QSKIP("this file system does not tell when a file was made");
        QFile file(journal.file());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(text)
                       .replace('@', m_dir->path().toUtf8())
                       .replace('#', identity(data.born))
                       .replace('$', identity(data.born + 1)));
        file.close();
        const JournalContents read = journal.read();
        QCOMPARE(read.downloads.size(), bytes < 0 ? 0 : 1);
        if (bytes < 0)
            return;
        QCOMPARE(read.downloads[0].bytes, bytes);
        QCOMPARE(read.downloads[0].complete, QTest::currentDataTag() == QByteArrayView("complete"));
        QCOMPARE(read.downloads[0].etag, QByteArray("\"x\""));
        // Written back as read; with nothing unfinished, no journal at all.
        QVERIFY(journal.write(read));
        QCOMPARE(journal.read(), read);
        QVERIFY(journal.write({}));
        QVERIFY(!QFileInfo::exists(journal.file()));
    }

    // In a sandbox that refuses statx (EPERM, as older container profiles
    // answer), a file made is still known by its device and inode, and no
    // name is taken in vain.
    void aSandboxWithoutStatxStillKnowsItsFiles()
    {
        const QString path = m_dir->filePath(QStringLiteral("a.zip.part"));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            sock_filter filter[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_statx, 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            const sock_fprog program {sizeof filter / sizeof *filter, filter};
            const bool refused = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
                                 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
            const FileIdentity made = FileIdentity::create(path);
            ::_exit(!refused ? 2 : made.isValid() && FileIdentity::of(path) == made ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            QSKIP("no seccomp filter may be set here");
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("a.zip.part")});
    }

    // A cancelled download's partial file that the engine writes after the
    // cancel goes too, and nothing else does: not the name itself, not
    // another program's file of the same name. What is still watched is kept
    // for the next start (tst_transfers follows such files further).
    void leftoversAreSwept()
    {
        const auto ours = DownloadFolder::reserveFile(m_dir->path(), QStringLiteral("a.zip"));
        // Another program's "b.zip.part" (a browser's download), under a
        // name a download of ours meant to use.
        const QString theirs = m_dir->filePath(QStringLiteral("b.zip"));
        const QStringList kept {QStringLiteral("a.zip"), QStringLiteral("a.zip.part"), QStringLiteral("b.zip.part")};
        // The reservation holds the name while the engine's file is to come.
        for (const QString &name : {kept[0], kept[2]})
            QVERIFY(QFile(m_dir->filePath(name)).open(QIODevice::NewOnly));
        PartialSweep sweep;
        sweep.add(ours.path, {.reserved = ours.reserved});
        sweep.add(theirs, {});
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), kept);
        QFile late(DownloadFolder::enginePartialPath(ours.path));
        QVERIFY(late.open(QIODevice::NewOnly) && late.write("late") == 4);
        late.close();
        QTRY_VERIFY(!late.exists());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList {kept[0], kept[2]}));
        QCOMPARE(sweep.paths().size(), 2);

        // The journal keeps only absolute paths.
        const DownloadJournal journal(m_dir->filePath(QStringLiteral("downloads.json")));
        const JournalLeftover left {ours.path, sweep.files(ours.path)};
        QVERIFY(journal.write({.leftovers = {left, {QStringLiteral("c.zip"), {}}}}));
        QCOMPARE(journal.read().leftovers, QList<JournalLeftover> {left});
    }

    // Data its server names as the download's own reservation, gone
    // meanwhile, lands there and stays: the tidying after takes only what
    // the reservation left.
    void dataLandedAtItsPartialNameStays()
    {
        const auto ours = DownloadFolder::reserveFile(m_dir->path(), QStringLiteral("a.zip"));
        const QString data = DownloadFolder::enginePartialPath(ours.path);
        QFile file(data);
        QVERIFY(file.open(QIODevice::NewOnly) && file.write("data") == 4);
        file.close();
        QVERIFY(QFile::remove(DownloadFolder::reservedPath(ours.path)));
        const QString landed = DownloadFolder().landAndTidy(
            data, {.reserved = ours.reserved, .data = FileIdentity::of(data)}, ours.path, QStringLiteral("a.zip.part"));
        QCOMPARE(landed, DownloadFolder::reservedPath(ours.path));
        QCOMPARE(QFileInfo(landed).size(), 4);
    }

    // Names as the site meant them: raw bytes the engine read as Latin-1, or
    // a name only in the address (percent-decoded), in the encoding of the
    // site's pages; and the name a server sends, read as the engine reads it
    // (the public tc2231 cases and the engine's own, on a UTF-8 site), but
    // from the server's own bytes.
    void names_data()
    {
        textColumns();
        const auto site = [](const QString &engine, const QByteArray &address, const char *charset) {
            return FileNames::siteName(engine, address, QLatin1String(charset));
        };
        const QByteArray gbk = QByteArray::fromHex("b1edb5a52e726172"); // 表单.rar
        const auto named = [](const QByteArray &header, const char *charset = "UTF-8") {
            return FileNames::dispositionName(header, QLatin1String(charset));
        };
        const auto inGbk = [](const char *utf8) {
            QStringEncoder encoder("GBK");
            return QByteArray(encoder.encode(QString::fromUtf8(utf8)));
        };
        // clang-format off
        row("raw GBK", site(QString::fromLatin1(gbk), "dl.php", "GBK"), "表单.rar");
        row("only in the address", site(QStringLiteral("\uFFFD\uFFFD.zip"), QByteArray::fromHex("d6d0cec42e7a6970"), "GBK"), "中文.zip");
        row("RFC 5987 or UTF-8 stays", site(QStringLiteral("表单.rar"), gbk, "GBK"), "表单.rar");
        row("Latin-1 that is no GBK stays", site(QStringLiteral("café.zip"), {}, "GBK"), "café.zip");
        row("a UTF-8 site's bytes stay", site(QString::fromLatin1(gbk), {}, "UTF-8"), QString::fromLatin1(gbk));
        row("attwithasciifnescapedchar", named(R"(attachment; filename="f\oo.html")"), "foo.html");
        row("white space, a space each", named("inline; filename=\"abc  \t\nde.pdf\""), "abc    de.pdf");
        row("attwithfnrawpctencaq", named(R"(attachment; filename="foo-%\41.html")"), "foo-A.html");
        row("attwithfnusingpct", named(R"(attachment; filename="50%.html")"), "50%.html");
        row("attwithfnrawpctenclong", named(R"(attachment; filename="foo-%c3%a4-%e2%82%ac.html")"), "foo-ä-€.html");
        row("escaped UTF-8, unquoted", named("attachment; filename=%E5%B2%A1%E3%80%80%E5%B2%A1.txt"), "岡　岡.txt");
        row("escapes that are no UTF-8", named("attachment; filename=%B7%DD%BD%D1.png"), "");
        row("RFC 2047, Q", named("attachment; filename==?utf-8?Q?=E8=8A=B8=E8=A1=93_3=2Epng?="), "芸術 3.png");
        row("RFC 2047, two words", named(R"(attachment; filename="=?windows-1252?Q?caf=E9?=  =?iso-8859-7?b?4eI=?= .png")"), "caféαβ.png");
        row("RFC 2047, broken", named("attachment; filename==?iso88591?Q?caf=E3?=="), "");
        row("attwithfn2231quot", named(R"(attachment; filename*="UTF-8''foo-%c3%a4.html")"), "");
        row("attwithfn2231utf8comp", named("attachment; filename*=UTF-8''foo-a%cc%88.html"), "foo-ä.html");
        row("filename* beyond ASCII", named("attachment; filename*=utf-8'es'f\xce\xba.html"), "");
        row("attandinline", named("inline; attachment; filename=foo.html"), "");
        row("attbrokenquotedfn", named(R"(attachment; filename="foo.html".txt)"), "foo.html\".txt");
        row("attbrokenquotedfn3", named(R"(attachment; filename=foo"bar;baz"qux)"), "foo\"bar;baz\"qux");
        // Raw GBK (and Big5, read the same way) holds "\\" as second bytes,
        // which must neither cut the name nor end it; the engine takes a 0x5C
        // for a quoted pair's backslash and drops it, read whole first the
        // character stays.
        row("0x5C second bytes", named("attachment; filename=\"" + inGbk("乗擻.rar") + "\"", "GBK"), "乗擻.rar");
        row("first bytes 0x81-0x9F", named("attachment; filename=\"" + inGbk("亅俓倈僜.doc") + "\"; size=9", "GBK"), "亅俓倈僜.doc");
        row("filename* beside them", named("attachment; filename=\"" + inGbk("乗.rar") + "\"; filename*=UTF-8''%E5%98%B0.rar", "GBK"), "嘰.rar");
        row("filename* in GBK", named("attachment; filename*=gbk''%81%5C%94%5C.rar"), "乗擻.rar");
        row("raw UTF-8 on a GBK site", named("attachment; filename=\"" + QString::fromUtf8("資料.zip").toUtf8() + "\"", "GBK"), "資料.zip");
        // GBK whose bytes are UTF-8 of two-byte characters too.
        row("raw GBK that is UTF-8 too", named("attachment; filename=\"" + inGbk("知识.rar") + "\"", "GBK"), "知识.rar");
        row("escaped GBK that is UTF-8 too", named("attachment; filename=%D6%AA%CA%B6.rar", "GBK"), "知识.rar");
        row("the same only in the address", site(QString::fromUtf8(inGbk("知识.rar")), inGbk("知识.rar"), "GBK"), "知识.rar");
        row("filename* labelled gb2312", named("attachment; filename*=gb2312''%81%5C%94%5C.rar"), "乗擻.rar");
        // The engine names nothing here; the site's visitors' browsers read the bytes in its code page.
        row("escaped GBK", named("attachment; filename=\"" + inGbk("中文乗.rar").toPercentEncoding() + "\"", "GBK"), "中文乗.rar");
        row("escaped UTF-8 on a GBK site", named("attachment; filename=\"%E4%B8%AD%E6%96%87%E8%B5%84%E6%96%99.rar\"", "GBK"), "中文资料.rar");
        row("RFC 2047 in GBK", named("attachment; filename==?GBK?B?gVyUXC5yYXI=?="), "乗擻.rar");
        row("no name", named("attachment", "GBK"), "");
        // clang-format on
    }
    void names() { compareText(); }

    // Why a download stopped, sizes as the site writes them, and an entry's
    // status, as the user reads them.
    void texts_data()
    {
        textColumns();
        const qint64 KiB = 1024, MiB = KiB << 10, GiB = MiB << 10;
        const auto stop = [](int code, int status) { return StopReason::text(code, QStringLiteral("/dl"), status); };
        const auto fetch = [](StopReason::Fetch f) { return StopReason::fetchText(f, QStringLiteral("/dl"), 500); };
        const auto noSpace = [](qint64 total) {
            return StopReason::noSpaceText(total, QStringLiteral("/dl"), qint64(3.5 * (1 << 20)));
        };
        const auto composed = [](DownloadEntry e, qint64 speed) {
            e.bytesPerSecond = speed;
            return QStringLiteral("%1 | %2 | %3").arg(e.statusText(), e.sizeText()).arg(e.permille());
        };
        using F = StopReason::Fetch;
        // clang-format off
        row("less than announced", stop(StopReason::ServerContentLengthMismatch, 0), "网络连接中断");
        row("no ranges, status known", stop(StopReason::ServerNoRange, 416), "服务器拒绝了下载（HTTP 416）");
        row("forbidden, no status", stop(StopReason::ServerForbidden, 0), "服务器拒绝了下载（HTTP 403）");
        // Why the program's own request for the rest of a download stopped
        // short (a broken one reads as the engine's network stop above).
        row("fetch refused", fetch(F::Refused), "服务器拒绝了下载（HTTP 500）");
        row("fetch changed", fetch(F::Changed), "服务器上的文件已更改，继续将从文件页重新下载");
        row("fetch expired", fetch(F::Expired), "下载链接已失效（HTTP 500），继续将从文件页重新下载");
        // The free space as it is, and the room the program keeps spare.
        row("no space, size unknown", noSpace(-1), "磁盘空间不足：文件大小未知，/dl 只剩 3.5 MB（需保留 64 MB）");
        // Sizes, in the list, its notices and the stop reasons.
        row("size unknown", DownloadEntry::bytesText(-1), "0 字节");
        row("bytes", DownloadEntry::bytesText(1023), "1023 字节");
        row("rounded", DownloadEntry::bytesText(1280), "1.3 KB");
        row("rounds up to the next unit", DownloadEntry::bytesText(MiB - 1), "1 MB");
        row("no larger unit", DownloadEntry::bytesText(2048 * GiB), "2048 GB");
        // An entry's status, size and progress.
        row("running", composed(FakeDownloads::entry(State::Running, MiB, 4 * MiB), MiB / 2), "正在下载 · 512 KB/s · 剩余 6 秒 | 1 MB / 4 MB | 250");
        row("an hour left", composed(FakeDownloads::entry(State::Running, 0, 3725 * KiB), KiB), "正在下载 · 1 KB/s · 剩余 1 小时 2 分 | 0 字节 / 3.6 MB | 0");
        row("more than announced", composed(FakeDownloads::entry(State::Running, 5 * MiB, 4 * MiB), MiB / 2), "正在下载 · 512 KB/s | 5 MB / 4 MB | 1000");
        row("cancelled: nothing of it kept", composed(FakeDownloads::entry(State::Cancelled, MiB, 4 * MiB), 0), "已取消 | 4 MB | -1");
        row("finished, size never told", composed(FakeDownloads::entry(State::Finished, 5 * MiB, -1), 0), "已完成 | 5 MB | 1000");
        // clang-format on
    }
    void texts() { compareText(); }

private:
    // A table of texts: each row the text a rule gave, and the one expected.
    static void textColumns()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
    }
    static void row(const char *tag, const QString &got, const auto &expected)
    {
        QTest::newRow(tag) << got << expected;
    }
    static void compareText()
    {
        QFETCH(QString, got);
        QTEST(got, "expected");
    }

    std::optional<QTemporaryDir> m_dir; // each test's, and each row's, own
};

QTEST_GUILESS_MAIN(DownloadRulesTest)
#include "tst_downloadrules.moc"
