// What the system can do to a save or a reading, each in a process of its own: saves as another
// user on a small ext4 disk of our own, signals, and every call of a Save or a Start failed in
// turn by strace. Nothing of the user's may be lost, given away or left behind, and the editor
// stays up.
#include <sys/mount.h>
#include <sys/stat.h>

#include <QScopeGuard>
#include <csignal>

#include "harness.h"
#include "soundmonitor.h"

class FailureTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    std::optional<QDir> disk_;  // a small ext4 disk of our own, its clock in whole seconds
    // Where the saves of everyFailurePoint are, by whole paths.
    QString caseFolder() const { return disk_ ? disk_->filePath(u"case/"_s) : QString(); }
    QString helper_;  // savecase, where the user nobody may run it
    std::map<QString, QByteArray> guards_{{"/proc/sys/fs/protected_symlinks", {}},
                                          {"/proc/sys/fs/protected_regular", {}}};
    const QByteArray old_ = QByteArray(20000, 'o') + "\r\n";  // vek.dat before each save
    // As the user reads them, so that words given to the wrong error are seen.
    const QMap<QString, QString> reasons_{
        {"ENOSPC", "ディスクに空きがありません"},
        {"EDQUOT", "ディスクの使用量の上限（クォータ）を超えています"},
        {"EIO", "入出力エラーです（ディスクか接続の不具合）"},
        {"ENXIO", "読み出す側のいないパイプか、つながっていない装置です"},
        {"EPIPE", "読み出す側が途中でパイプを閉じました"},
        {"ENOENT", "ファイルかフォルダーが見つかりません"},
        {"EACCES", "アクセスが許可されていません"},
        {"EPERM", "この操作は許可されていません"},
        {"EROFS", "読み取り専用のファイルシステムです"},
        {"EFBIG", "ファイルが大きすぎます"},
        {"ETXTBSY", "実行中のプログラムのファイルです"},
        {"EMFILE", "開いているファイルが多すぎます"},
        {"ENOMEM", "メモリが足りません"},
        {"EAGAIN", "今は読み書きできません（待たないと読めないファイルです）"}};

    struct Run {
        QString said, before, after;  // what savecase printed; the file and folder, from shell
        QByteArray bytes;             // of vek.dat
        int exit = -1;                // its code, or 128 and the signal that ended it
        std::optional<std::pair<QString, QByteArray>> waited;  // after and bytes at its 2nd wait
    };
    static QString shell(const QString& folder, const QString& command) {
        QProcess sh;
        sh.setWorkingDirectory(folder);
        sh.start(u"bash"_s, {u"-c"_s, command});
        sh.waitForFinished();
        return QString::fromUtf8(sh.readAllStandardOutput());
    }

    // Runs savecase's steps (as nobody where they begin with it), with strace attached and the
    // faults injected from its first "wait" to its second. A save's folder on our disk is made
    // anew with vek.dat and set up first ("locked": a folder nobody may not write, "fill N": a
    // disk with N bytes free); what the file and folder are is told before and after.
    Run run(const QString& setup, const QString& steps, const QString& inject,
            const QString& trace = u"%file,%desc"_s) {
        const bool save = !setup.isNull();
        const QString folder = save ? disk_->filePath(u"case"_s) : path("start");
        const QString what =
            u"stat -c %F vek.dat; stat -L -c %F:%u:%g:%a:%h vek.dat; getfacl -cp "
            "vek.dat; getfattr -d -m - vek.dat; ls -AR"_s;
        QProcess::execute(u"rm"_s, {u"-rf"_s, folder, disk_ ? disk_->filePath(u"fill"_s) : ""});
        QDir().mkpath(folder);
        Run r;
        if (save) {
            writeBytes(folder + u"/vek.dat"_s, old_);
            r.before =
                shell(folder,
                      u"fill() { fallocate -l $(( $(stat -f -c '%a*%S' .) - $1 )) "
                      "../fill; }\nset -e; "_s +
                          QString(setup).replace(u"locked"_s, u"chmod 666 vek.dat; chmod 555 ."_s) +
                          u"\nset +e\n"_s + what);
        }
        QStringList args = QProcess::splitCommand(steps);
        const bool nobody = args.first() == u"nobody";
        if (nobody) args.removeFirst();
        // "hide:PATH": a file that is no program put over PATH, for this process alone;
        // "hide:PATH>FOLDER": and what was at PATH found in FOLDER alone.
        const QString hide = args.first().startsWith(u"hide:") ? args.takeFirst().mid(5) : "";
        QProcess p, tracer;
        p.setWorkingDirectory(folder);
        const QStringList run =
            QStringList{u"setpriv"_s} +
            (nobody ? QStringList{u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s}
                    : QStringList()) +
            QStringList{u"--"_s, helper_} + args;
        if (!hide.isEmpty())
            p.start(u"unshare"_s,
                    QStringList{u"-m"_s, u"sh"_s, u"-c"_s,
                                u"f=${0%>*} d=${0#*>}; [ \"$d\" = \"$0\" ] || { mount -t tmpfs "
                                "none \"$d\" && touch \"$d/${f##*/}\" && mount --bind \"$f\" "
                                "\"$d/${f##*/}\"; } && mount --bind vek.dat \"$f\" && exec "
                                "\"$@\""_s,
                                hide} +
                        run);
        else
            p.start(run.first(), run.mid(1));
        const QString pid = QString::number(p.processId());
        const auto ready = [&](int n) {  // its nth "ready", if it still runs
            while (r.said.count(u"ready") < n && p.waitForReadyRead(20000))
                r.said += p.readAllStandardOutput();
            return p.state() == QProcess::Running;
        };
        const auto look = [&] {
            const QString file = folder + u"/vek.dat"_s;
            return std::pair(save ? shell(folder, what) : QString(),
                             QFileInfo(file).isFile() ? readBytes(file) : QByteArray());
        };
        const QString tasks = u"/proc/"_s + pid + u"/task/"_s;
        const auto threads = [&](const char* line) {  // how many of its threads show it
            int n = 0;
            for (const QString& t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                n += readBytes(tasks + t + u"/status"_s).contains(line);
            return n;
        };
        const auto traced = [&](bool yes) {
            return QTest::qWaitFor(
                [&] { return threads("TracerPid:\t0") == (yes ? 0 : threads("")); });
        };
        if (args.contains(u"wait") && ready(1)) {
            tracer.start(u"strace"_s, QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, path("strace.log"),
                                                  u"-e"_s, u"trace="_s + trace, u"-p"_s, pid} +
                                          inject.split(u' ', Qt::SkipEmptyParts));
            (void)traced(true);
            ::kill(pid.toInt(), SIGUSR1);
            if (ready(2)) {
                // A tracer that does not let go, or a thread it left stopped, is not the
                // editor's doing: told, and undone.
                tracer.terminate();
                if (!tracer.waitForFinished(20000))
                    qInfo("strace did not end"), tracer.kill(), tracer.waitForFinished();
                (void)traced(false);
                if (threads("State:\tT")) qInfo("left stopped"), ::kill(pid.toInt(), SIGCONT);
                r.waited = look();
                ::kill(pid.toInt(), SIGUSR1);
            }
        }
        // One that does not end is told as each of its threads stands, then ended.
        if (!p.waitForFinished(60000)) {
            r.said += tracer.state() == QProcess::Running ? u"hung, traced\n"_s : u"hung\n"_s;
            for (const QString& t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                for (const char* what : {"stat", "wchan", "syscall"})
                    r.said += QString::fromLatin1(readBytes(tasks + t + u'/' + what)).trimmed() +
                              (qstrcmp(what, "syscall") ? u" | "_s : u"\n"_s);
            p.kill(), p.waitForFinished();
        }
        tracer.waitForFinished();
        r.exit = p.exitStatus() == QProcess::CrashExit ? 128 + p.exitCode() : p.exitCode();
        r.said += QString::fromUtf8(p.readAllStandardOutput());
        std::tie(r.after, r.bytes) = look();
        return r;
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0);
        // Debian's own for users with a group of their own: new files the group may write too.
        ::umask(002);
        helper_ = path("savecase");
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/savecase"_s, helper_));
        const QString image = path("disk.img"), mount = path("disk");
        if (::geteuid() == 0 && QDir().mkpath(mount) &&
            QProcess::execute(u"bash"_s,
                              {u"-c"_s,
                               u"truncate -s 4M $0 && mkfs.ext4 -q -m 0 -I 128 $0 2>/dev/null && "
                               "mount -o loop $0 $1"_s,
                               image, mount}) == 0)
            disk_ = QDir(mount);
        // Links and files planted by others in a shared folder are refused, as on Debian.
        for (auto& [guard, was] : guards_)
            if (was = readBytes(guard); ::geteuid() == 0) writeBytes(guard, "1");
    }
    void cleanupTestCase() {
        if (disk_) ::umount(qPrintable(disk_->path()));
        for (const auto& [guard, was] : guards_)
            if (::geteuid() == 0) writeBytes(guard, was);
    }

    // Saves, with faults or signals where the steps wait for them: the bytes of vek.dat after
    // (none: not looked at); the messages, the exit and what the file and folder are (what
    // became of the file and the errno of its reason; "!" where it must not be said).
    void saves_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("inject");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("said");
        const QByteArray old = old_;
        const auto text = [](int n) { return QByteArray(n, 'n') + "\r\n"; };
        const auto add = [](const char* name, const QString& setup, const QString& steps,
                            const QString& inject, const QByteArray& bytes, const QString& said) {
            QTest::newRow(name) << setup << steps << inject << bytes << said;
        };
        // A partial reservation is given back, the file in as many 512-byte blocks as before;
        // once there is room, the next save goes through, not taken for a change made by another
        // program.
        add("locked, 7 KB free, then room", "locked; fill 7000; chmod 666 ../fill",
            "nobody open:vek.dat text:27000 save:vek.dat sh:\"echo blocks $(stat -c %b vek.dat)\" "
            "sh:\"truncate -s 0 ../fill\" save:vek.dat",
            "", text(27000), "そのまま|ENOSPC|blocks 40\n|保存したよ|!他のプログラム");
        add("the first write fails", "locked", "nobody text:100 wait save:vek.dat wait",
            "-e inject=pwrite64:error=EIO:when=1", old,
            "保存できませんでした。元のファイルはそのままです。|EIO|!戻しました");
        // A new file that failed on its way is not put in the old one's place.
        for (const auto& [call, error] : {std::pair("pwrite64", "EDQUOT"),
                                          {"fsync", "EIO"},
                                          {"linkat", "EIO"},
                                          {"renameat,renameat2", "EIO"}})
            add(call, "", "text:100 wait save:vek.dat wait",
                u"-e inject=%1:error=%2:when=1"_s.arg(call, error), old,
                u"そのまま|%1|!.vekedit"_s.arg(error));
        // Each reason a save may meet, in the user's words.
        for (const char* error :
             {"EPERM", "EROFS", "EFBIG", "ETXTBSY", "EMFILE", "ENOMEM", "EAGAIN"})
            add(error, "", "text:9 wait save:vek.dat wait",
                u"-P vek.dat -e inject=openat:error=%1:when=3"_s.arg(error), old,
                u"そのまま|%1"_s.arg(error));
        add("the folder not synced", "", "text:100 wait save:vek.dat wait",
            "-e inject=fsync:error=EIO:when=2", text(100),
            "保存しましたが、ディスクに書き込まれたことを確かめられませんでした。|EIO|!保存したよ");
        add("a folder that cannot be synced", "", "text:100 wait save:vek.dat wait",
            "-e inject=fsync:error=EINVAL:when=2", text(100), "保存したよ|!確かめられません");
        add("a rewrite undone", "locked", "nobody text:100 wait save:vek.dat wait",
            "-e inject=fsync:error=EIO:when=1", old, "書きかけた部分は元の内容に戻しました。|EIO");
        add("a rewrite undone, not on the disk", "locked", "nobody text:100 wait save:vek.dat wait",
            "-e inject=fsync:error=EIO:when=1..2", {},
            "ファイルを保存できませんでした。元の内容にも戻せませんでした。ファイルが壊れているおそ"
            "れがあります。|EIO|!戻しました");
        // Another file left damaged is not taken for the one opened, which changed meanwhile.
        add("another file left damaged", "cp vek.dat other.dat; chmod 666 other.dat; locked",
            "nobody open:vek.dat text:100 wait save:other.dat wait sh:\"printf x | dd of=vek.dat "
            "conv=notrunc status=none\" save:vek.dat",
            "-e inject=fsync:error=EIO:when=1..2", "x" + old.mid(1),
            "壊れている|他のプログラムによって変更されています");
        // Once there is room again, the next save of the file opened goes through, not taken
        // for a change elsewhere.
        add("rewrite and its undoing fail", "locked",
            "nobody open:vek.dat text:100 wait save:vek.dat wait save:vek.dat",
            "-e inject=ftruncate:error=EIO:when=1 -e inject=pwrite64:error=EIO:when=2", text(100),
            "壊れている|EIO|保存したよ|!他のプログラム");
        // A signal right after the new head is written, or the new file is named: the save
        // finishes first.
        // Replaced too: a file in another group of the saver's, its group kept; one in a folder
        // with a default ACL, without it.
        for (const auto& [name, setup, said] :
             {std::tuple("TERM while writing beside", "", ""),
              {"TERM while writing beside, another group", "chgrp users vek.dat", "|file:0:100:"},
              {"TERM while writing beside, a default ACL", "setfacl -d -m u:nobody:rw .",
               "|!user:nobody"}})
            add(name, setup, "text:100 wait save:vek.dat wait", "-e inject=linkat:signal=TERM",
                text(100), u"exit 143|!.vekedit"_s + said);
        add("TERM while making a new file", "rm vek.dat", "text:100 wait save:vek.dat wait",
            "-e inject=pwrite64:signal=TERM:when=1", text(100), "exit 143");
        // Each signal sent twice, the second once the first was held: still held.
        for (const auto& [sig, code] :
             {std::pair("TERM", 143), {"HUP", 129}, {"INT", 130}, {"QUIT", 131}})
            add(sig, "locked", "nobody text:100 wait save:vek.dat wait",
                u"-e inject=pwrite64:signal=%1:when=1 -e inject=fsync:signal=%1:when=1"_s.arg(sig),
                text(100), u"exit %1"_s.arg(code));
        // The code page's module that cannot be loaded: glibc tells no reason worth showing.
        // Once it can, the next Open reads with it (strace lets go at the second wait).
        for (const QString& arch : QDir(u"/usr/lib"_s).entryList(QDir::Dirs))
            if (const QString module = u"/usr/lib/%1/gconv/CP932.so"_s.arg(arch);
                QFile::exists(module)) {
                const QString inject = u"-P "_s + module + u" -e inject=openat:error=EACCES"_s;
                add("no code page", "", "text:9 wait save:vek.dat wait", inject, old,
                    "を読み込めません\n|!エラー番号|そのまま");
                add("no code page, on the way to New: the text kept", "",
                    "text:9 wait new:vek.dat wait", inject, old, "を読み込めません\n|!text 0");
                add("no code page, then one", "",
                    "sh:\"printf '\\212\\151' >vek.dat\" wait open:vek.dat wait open:vek.dat",
                    inject, "\x8a\x69", "を読み込めません\n|!読めないバイト");
            }
        add("a read error loads nothing over the text", "",
            "text:5 save:vek.dat wait open:vek.dat wait save:vek.dat", "-e inject=read:error=EIO",
            text(5), "開けませんでした|EIO|保存したよ");
        // Within the second of the Open, on a disk whose clock counts whole seconds.
        add("another program changed it since Open, to the same size", "",
            "open:vek.dat sh:\"printf x | dd of=vek.dat conv=notrunc status=none\" text:9 "
            "save:vek.dat",
            "", "x" + old.mid(1),
            "このファイルは開いた後で他のプログラムによって変更されています。上書きしますか？");
        add("lengthened since Open", "",
            "open:vek.dat sh:\"printf x >> vek.dat\" text:9 save:vek.dat", "", old + "x",
            "他のプログラムによって変更されています");
        for (const char* setup : {"", "ln vek.dat two.dat"})  // replaced, then in place
            add(*setup ? "changed elsewhere after a save of ours in place"
                       : "changed elsewhere after a save of ours",
                setup,
                "open:vek.dat text:9 save:vek.dat sh:\"printf x | dd of=vek.dat conv=notrunc "
                "status=none\" text:9 save:vek.dat",
                "", "x" + text(9).mid(1), "保存したよ|他のプログラムによって変更されています");
        // Another file is not taken for the opened one changed.
        add("over another file", "",
            "open:vek.dat sh:\"printf x > other.dat\" text:9 save:other.dat", "", old,
            "保存したよ|!他のプログラム");
        add("dangling link", "rm vek.dat; ln -s sub/target.dat vek.dat; mkdir sub",
            "text:9 save:vek.dat", "", text(9), "保存したよ|symbolic link\nregular file");
        // A reader slower than the editor is waited for, past what the pipe holds.
        add("FIFO, a slow reader",
            "rm vek.dat; mkfifo vek.dat; (exec <vek.dat; sleep 0.5; cat >/dev/null) >/dev/null "
            "2>&1 &",
            "text:100000 save:vek.dat", "", {}, "保存したよ|fifo");
        // One that stops reading midway took part of the text: said so, not kept as it was.
        add("FIFO, a reader that stops",
            "rm vek.dat; mkfifo vek.dat; (exec <vek.dat; head -c 1000 >/dev/null) >/dev/null 2>&1 "
            "&",
            "text:100000 save:vek.dat", "", {},
            "ファイルを保存できませんでした。途中までしか書き込めませんでした。|EPIPE|!そのまま|"
            "fifo\nfifo");
        add("FIFO without reader", "rm vek.dat; mkfifo vek.dat", "text:9 save:vek.dat", "", {},
            "そのまま|ENXIO|fifo\nfifo");
        // A device, named through a link, that takes nothing is said to, not written to forever.
        add("device", "rm vek.dat; mknod dev c 1 3; ln -s dev vek.dat",
            "text:9 wait save:vek.dat save:vek.dat wait", "-e inject=write:retval=0:when=2", {},
            "保存したよ|EIO|そのまま|!途中まで|symbolic link\ncharacter special file");
        add("immutable", "chattr +i vek.dat", "text:9 save:vek.dat sh:\"chattr -i vek.dat\"", "",
            old, "書き込みが禁止されています|!そのまま");
        add("a folder the user may not list", "rm vek.dat; chmod 333 .",
            "nobody text:9 save:vek.dat", "", text(9), "保存したよ|!確かめられません");
        add("through a link, no room", "mv vek.dat real.dat; ln -s real.dat vek.dat; fill 4096",
            "text:30000 save:vek.dat", "", old, "そのまま|ENOSPC");
        add("missing folder", "", "text:9 save:no/vek.dat", "", old, "!そのまま|ENOENT");
        add("a folder's name with its slash", "mkdir sub", "text:9 save:sub/", "", old,
            "フォルダーです。ファイルを選んでください|!見つかりません");
        add("in the root folder", "",
            "text:9 save:/vekedit-test.dat sh:\"cat /vekedit-test.dat; rm /vekedit-test.dat\"", "",
            old, "保存したよ|nnnnnnnnn\r\n");
        // A file mounted over another name, as a container has it: rewritten where it is.
        add("a file mounted in place", "cp vek.dat other.dat",
            "hide:other.dat text:9 save:other.dat", "", text(9), "保存したよ");
        // No program where it was looked for first: told as missing, with that place.
        add("no engine", "", "hide:/usr/bin/open_jtalk text:5 speak", "", {},
            "open_jtalk が見つかりません（/usr/bin/open_jtalk）");
        // A voice the user may not read is told as missing.
        add("a voice no one may read", "chmod 600 vek.dat",
            "nobody hide:/usr/share/hts-voice/nitech-jp-atr503-m001/nitech_jp_atr503_m001.htsvoice "
            "text:5 speak",
            "", {}, "声のデータが見つかりません（/usr/share/hts-voice/");
        // Installed from source, it is found where that puts it.
        add("the engine in /usr/local", "", "hide:/usr/bin/open_jtalk>/usr/local/bin text:5 speak",
            "", {}, "heard");
        // Without /proc, as in a chroot: through a temporary of our own, removed.
        for (const char* setup : {"", "rm vek.dat"})
            add(*setup ? "no /proc, a new file" : "no /proc", setup,
                "text:9 wait save:vek.dat wait",
                "-e inject=access,faccessat,faccessat2:error=ENOENT", text(9),
                "保存したよ|!.vekedit");
        // Room that could not be reserved for another reason: nothing is written.
        add("the room not reserved", "locked", "nobody text:27000 wait save:vek.dat wait",
            "-e inject=fallocate:error=EIO", old, "そのまま|EIO|!戻しました");
        // A file system that cannot reserve room: written where there is room for what it grows
        // by, else untouched.
        add("no reservation, room", "locked; fill 16000",
            "nobody text:27000 wait save:vek.dat wait", "-e inject=fallocate:error=EOPNOTSUPP",
            text(27000), "保存したよ");
        add("no reservation, no room", "locked; fill 3000",
            "nobody text:27000 wait save:vek.dat wait", "-e inject=fallocate:error=EOPNOTSUPP", old,
            "そのまま|ENOSPC|!戻しました");
        // Set-ID bits are set again once the bytes are written, which clears them.
        add("replaced, its set-ID bits kept",
            "chmod 777 .; chown nobody:nogroup vek.dat; chmod 6755 vek.dat",
            "nobody text:9 save:vek.dat", "", text(9), "保存したよ|:6755:1");
    }

    void saves() {
        QFETCH(QString, setup);
        QFETCH(QString, steps);
        QFETCH(QString, inject);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        if (!disk_) QSKIP("a disk of our own and another user need root and a loop device");
        if (steps.contains(u"hide:") && QProcess::execute(u"unshare"_s, {u"-m"_s, u"true"_s}))
            QSKIP("mounts of its own need a root that is a mount point, not a chroot's");
        const Run r = run(setup, steps, inject);
        const QString out = r.said + r.after + u"exit "_s + QString::number(r.exit);
        const QStringList parts = said.split(u'|') << (said.contains(u"exit") ? "exit" : "exit 0");
        for (QString part : parts) {
            const bool no = part.startsWith(u'!');
            part = reasons_.value(part, part);
            QVERIFY2(out.contains(part.mid(no)) != no, qPrintable(out));
        }
        if (!bytes.isEmpty()) QCOMPARE(r.bytes, bytes);
    }

    // Killed, the editor takes its engines with it: none is left to end on its own.
    void enginesGoWithTheEditor() {
        REQUIRE_SOUND_SERVER();
        QByteArrayList engines;
        const auto done = qScopeGuard([&] {  // none left stopped, whatever failed
            for (const QByteArray& pid : engines) ::kill(pid.toInt(), SIGKILL);
        });
        QProcess p;
        p.start(helper_, {u"text:20"_s, u"speak"_s, u"wait"_s});
        QString said;
        while (!said.contains(u"ready") && p.waitForReadyRead(20000)) said += p.readAll();
        QVERIFY2(said.contains(u"heard"), qPrintable(said));
        const QString tasks = u"/proc/%1/task"_s.arg(p.processId());
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QByteArray& pid : readBytes(tasks + u'/' + task + u"/children"_s).split(' '))
                if (const QByteArray stat = readBytes("/proc/" + pid + "/stat");
                    stat.contains("(open_jtalk) ") && !stat.contains(") Z"))
                    engines << pid;
        QVERIFY(!engines.isEmpty());
        // Stopped, an engine can neither read the end of its input nor write: only a kill ends it.
        for (const QByteArray& pid : engines) ::kill(pid.toInt(), SIGSTOP);
        ::kill(p.processId(), SIGKILL);
        p.waitForFinished();
        // Gone, or dead and not yet reaped by whoever has it now.
        const auto ended = [](const QByteArray& pid) {
            return !QFileInfo::exists(QString::fromLatin1("/proc/" + pid)) ||
                   readBytes("/proc/" + pid + "/stat").contains(") Z");
        };
        for (const QByteArray& pid : QByteArrayList(engines)) {
            QVERIFY2(QTest::qWaitFor([&] { return ended(pid); }), pid);
            engines.removeOne(pid);  // the rest, the guard ends
        }
    }

    // Every call of a Save that touches a file, a folder or a temporary, and every call of a
    // Start that makes a pipe, a process, a connection or maps memory, fails in turn: counted where
    // nothing fails, then failed one position at a time (the Nth call of its kind, in each thread).
    // A save is failed with ENOSPC, EIO, EACCES and, where the call is made again, EINTR, or
    // killed there: the file is exactly the old or exactly the new one, with its owner, mode, ACL
    // and attributes, no temporary is left, and the message says what became of it. A Start is
    // failed with ENOMEM, EAGAIN, EMFILE and EACCES: the editor stays up with its text, it is
    // heard or told why not, and the next Start is heard. Each position gets one fault, in
    // turn, and EINTR; VEKEDIT_FAULTS=all tries every fault at every position.
    void everyFailurePoint_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("steps");  // as nobody where they begin with it
        QTest::addColumn<QString>("told");   // by the save where nothing fails
        const QString saved = u"保存したよ"_s, refused = u"理由: "_s + reasons_["EACCES"];
        const auto save = [](const char* name, const char* setup, const char* steps,
                             const QString& told) {
            QTest::newRow(name) << setup << steps << told;
        };
        save("replace another's file with its ACL and attributes",
             "chown daemon:daemon vek.dat; chmod 640 vek.dat; setfacl -m u:nobody:r vek.dat; "
             "setfattr -n user.note -v kept vek.dat",
             "text:9", saved);
        save("replace, not taking the folder's default ACL",
             "setfacl -d -m u:nobody:rw .; chmod 640 vek.dat", "text:30000", saved);
        save("a new file", "rm vek.dat", "text:9", saved);
        save("a new file through a link that led nowhere",
             "rm vek.dat; mkdir sub; ln -s sub/new.dat vek.dat", "text:9", saved);
        save("in place: a second name", "ln vek.dat other.dat", "text:30000", saved);
        save("in place: a link", "mv vek.dat real.dat; ln -s real.dat vek.dat", "text:9", saved);
        // Not given away: nobody may write it, but not make a file of its owner's (though in
        // nobody's own group) or of a group it is not in.
        save("in place: another's file the user may write",
             "chmod 777 .; chown 1234:nogroup vek.dat; chmod 600 vek.dat; setfacl -m u:nobody:rw "
             "vek.dat",
             "nobody text:9", saved);
        save("in place: a group the user is not in",
             "chmod 777 .; chown nobody:daemon vek.dat; chmod 640 vek.dat", "nobody text:9", saved);
        save("in place: a folder the user may not write", "locked", "nobody text:30000", saved);
        save("refused: read-only, through a link",
             "mv vek.dat real.dat; chmod 444 real.dat; ln -s real.dat vek.dat", "nobody text:9",
             u"このファイルは書き込みが禁止されています。|%1vek.dat\n"_s.arg(caseFolder()));
        // The system's guards in a folder everyone may write, as Debian has them.
        save("refused: a link planted by another",
             "chmod 1777 .; chown nobody vek.dat; ln -s vek.dat x.dat; chown -h daemon x.dat",
             "nobody text:9 save:x.dat", refused);
        save("refused: a file planted by another",
             "chmod 1777 .; chown daemon vek.dat; chmod 666 vek.dat", "nobody text:9", refused);
        QTest::newRow("Start") << QString() << u"text:20 speak"_s << QString();
    }

    void everyFailurePoint() {
        QFETCH(QString, setup);
        QFETCH(QString, steps);
        QFETCH(QString, told);
        const bool start = setup.isNull();
        if (!start && !disk_)
            QSKIP("a disk of our own and another user need root and a loop device");
        if (setup.contains(u"1777") && readBytes(guards_.begin()->first) != "1\n")
            QSKIP("the system's guards against planted files cannot be switched on here");
        if (start) REQUIRE_SOUND_SERVER();
        const QByteArray saved = QByteArray(steps.section(u"text:"_s, 1).toInt(), 'n') + "\r\n";
        // The calls between the two waits are counted and failed; a second Start or Save follows.
        const QString save = steps.contains(u"save:") ? steps.section(u' ', -1) : u"save:vek.dat"_s;
        // Saves from another folder, by whole paths: a link's target is where the link is.
        const QString at = caseFolder();
        QString args =
            QString(steps).remove(u' ' + save).replace(u"text:"_s, u"cd:/ open:vek.dat text:"_s) +
            u" wait "_s + save + u" wait "_s + save;
        args.replace(u"open:"_s, u"open:"_s + at).replace(u"save:"_s, u"save:"_s + at);
        if (start) args = QString(steps).replace(u" speak"_s, u" wait speak wait speak"_s);
#ifdef __SANITIZE_ADDRESS__
        // The sanitizers' runtime maps its memory and makes pipes of its own, and dies when they
        // fail; the build without them fails every call of a Start.
        const bool sanitized = true;
        if (start) QSKIP("the sanitizers' own calls cannot be failed");
#else
        const bool sanitized = false;
#endif
        const QString trace =
            start ? u"pipe2,clone,clone3,execve,socket,connect,mmap"_s : u"%file,%desc"_s;
        const Run clean = run(setup, args, {}, trace);
        QVERIFY2(clean.exit == 0, qPrintable(clean.said));
        // Where each kind of call may be failed: its Nth call in any thread, up to the second wait.
        QList<std::pair<QString, int>> calls;
        bool cutUnflushed = false;
        const auto traced = [&](const auto& each) {  // each call of the last run, in its thread
            static const QRegularExpression callLine(u"^(\\d+) +(\\w+)\\("_s);
            QMap<std::pair<QString, QString>, int> counts;
            for (const QByteArray& line : readBytes(path("strace.log")).split('\n')) {
                if (line.contains("write(1, ")) break;  // its second "ready"
                const auto m = callLine.match(QString::fromLatin1(line));
                if (m.hasMatch()) each(m.captured(2), ++counts[{m.captured(1), m.captured(2)}]);
            }
        };
        traced([&](const QString& call, int n) {
            if (call == u"ftruncate" || call == u"fsync") cutUnflushed = call == u"ftruncate";
            if (!calls.contains(std::pair(call, n))) calls.append({call, n});
        });
        const auto reached = [&](const QString& call, int n) {
            bool made = false;
            traced([&](const QString& c, int i) { made = made || (c == call && i == n); });
            return made;
        };
        QVERIFY(calls.size() > 5);
        // A file cut shorter is on the disk as cut before the save is said to be done.
        QVERIFY(!cutUnflushed);
        const auto [cleanAfter, cleanBytes] = clean.waited.value_or(std::pair(QString(), ""));
        const QString cleanSaid = clean.said.section(u"ready\n"_s, 1, 1);
        const bool canSave = cleanBytes == saved, all = qgetenv("VEKEDIT_FAULTS") == "all";
        QVERIFY2(cleanSaid.contains(told), qPrintable(clean.said));
        if (!start) QCOMPARE(canSave, !QByteArray(QTest::currentDataTag()).startsWith("refused"));
        const QByteArray was = setup.startsWith(u"rm vek.dat") ? QByteArray() : old_;
        // Saved as it was, its other names with it; a new one as the umask allows.
        if (!start && !was.isEmpty()) QCOMPARE(cleanAfter, clean.before);
        if (!start && was.isEmpty())
            QVERIFY2(cleanAfter.contains(u":0:0:664:1\n"), qPrintable(cleanAfter));
        const QStringList restarted{"read",     "pread64",   "write",
                                    "pwrite64", "fallocate", "ftruncate"};
        int tried = 0, leftovers = 0, cut = 0;
        for (qsizetype i = 0; i < calls.size(); ++i) {
            const auto& [call, n] = calls[i];
            if (sanitized && call == u"mmap") continue;
            QStringList faults = start ? QStringList{"ENOMEM", "EAGAIN", "EMFILE", "EACCES"}
                                       : QStringList{"ENOSPC", "EIO", "EACCES", "KILL"};
            if (!all) faults = {faults[i % faults.size()]};
            // Always: a call not made again fails a save that should have gone through.
            if (restarted.contains(call)) faults << u"EINTR"_s;
            // A check that itself failed is not taken for its answer.
            if ((call.startsWith(u"faccessat") || call == u"fsync") && !faults.contains(u"EIO"))
                faults << u"EIO"_s;
            for (const QString& fault : faults) {
                const bool kill = fault == u"KILL";
                const QString how = u"inject=%1:%2=%3:when=%4"_s.arg(
                    call, kill ? u"signal"_s : u"error"_s, fault, QString::number(n));
                const Run r = run(setup, args, u"-e "_s + how, trace);
                // Calls of other threads vary from run to run: here none made its Nth.
                if (kill && r.exit == 0 && !reached(call, n)) continue;
                ++tried;
                const QString where = how + u"\n"_s + r.said + r.after;
                QVERIFY2((r.exit == 128 + SIGKILL) == kill && (kill || r.exit == 0),
                         qPrintable(where));
                if (start) {
                    // Heard, or told why not; heard at the next Start; the text as it was.
                    const QStringList heard =
                        r.said.split(u'\n').filter(QRegularExpression(u"^(heard|silent)$"_s));
                    QVERIFY2(
                        heard.size() == 2 && heard[1] == u"heard" &&
                            (heard[0] == u"heard" || r.said.contains(u"読み上げができません")) &&
                            r.said.contains(u"text 22"),
                        qPrintable(where));
                    continue;
                }
                // The file and the messages after the failed save; what the next one leaves.
                const auto [after, bytes] = r.waited.value_or(std::pair(r.after, r.bytes));
                const QString said = r.said.section(u"ready\n"_s, 1, 1);
                const bool isNew = canSave && bytes == saved;
                // Killed between writing the head and cutting the tail, a file rewritten in
                // place holds both: no call does the two at once.
                const bool tail =
                    kill && saved.size() < old_.size() && bytes == saved + old_.mid(saved.size());
                cut += tail;
                QVERIFY2(isNew || bytes == was || tail, qPrintable(where));
                if (kill) {
                    leftovers += r.after.count(u".vekedit-"_s);
                    continue;
                }
                QVERIFY2(after == (isNew ? cleanAfter : r.before), qPrintable(where));
                // The next save goes as if nothing had failed.
                QVERIFY2(r.bytes == clean.bytes && r.after == clean.after &&
                             r.said.section(u"ready\n"_s, 2) == clean.said.section(u"ready\n"_s, 2),
                         qPrintable(where));
                // Saved, and said so (unconfirmed where a flush failed); or not, and said why,
                // never as damaged when it is not. glibc does not make its own reads again while it
                // loads its converter.
                const bool why =
                    (reasons_.contains(fault) && said.contains(u"理由: "_s + reasons_[fault])) ||
                    (fault == u"EACCES" && said.contains(u"書き込みが禁止")) ||
                    (!canSave && said.contains(u"理由: "_s + reasons_["EACCES"])) ||
                    said.contains(u"変換表") || said == cleanSaid;
                // A file that was not there is neither kept nor restored.
                QVERIFY2(int(said.contains(u"保存したよ")) + said.contains(u"確かめられません") ==
                                 int(isNew) &&
                             (!was.isEmpty() || !said.contains(u"元の")) &&
                             said.contains(u" modified\n") != isNew &&
                             (isNew || (why && !said.contains(u"壊れている"))) &&
                             (call != u"fsync" || fault != u"EIO" || !isNew ||
                              said.contains(u"確かめられません")) &&
                             (fault != u"EINTR" || isNew == canSave || said.contains(u"変換表")) &&
                             // A new file not made like the old: the old one rewritten instead.
                             (isNew || !(call.contains(u"xattr") || call.startsWith(u"fch"))),
                         qPrintable(where));
            }
        }
        qInfo("%lld positions, %d faults tried", static_cast<long long>(calls.size()), tried);
        if (!start) qInfo("killed: %d left a temporary, %d the old tail", leftovers, cut);
    }
};

QTEST_MAIN(FailureTest)
#include "tst_failures.moc"
