#!/usr/bin/env python3
"""Applies small faults to src/ one at a time and checks that the test suite catches each.

    tools/mutants.py [NAME ...]     all mutants, or those named

Builds in build-mutants/, runs the named test binaries of each mutant, and restores every
file it touched, also when interrupted. Not part of the test command: it takes minutes.
"""
import os, subprocess, sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-mutants")

# name: (file, text, replacement, tests expected to fail); lists change several places
MUTANTS = {
    "phrase table not reset": ("src/phrases/phrasecommands.cpp",
        "    std::fill(sMsg.begin(), sMsg.end(), QString());\n", "", "tst_phrasefile"),
    "no in-place save in a locked folder": ("src/platform/files.cpp",
        "if (exists && ::access(name.constData(), W_OK) == 0) return overwriteKeepingOld(name, data);",
        "", "tst_phrasefile"),
    "no look-ahead at the read edge": ("src/phrases/phrasefile.cpp",
        "bytes.size() >= scanned + 2", "true", "tst_phrasefile"),
    "bad lead swallows any byte": ("src/phrases/cp932.cpp",
        "        if (!isTrailByte(trail)) {", "        if (trail == 0) {", "tst_phrasefile"),
    "no progress caption": ("src/phrases/phrasecommands.cpp",
        "    if (count > 0) setWindowTitle(progressCaption(count + 1));\n", "", "tst_phrasefile"),
    # Either safeguard alone keeps the old file on a full disk; this drops both.
    "in place without safeguards": ("src/platform/files.cpp",
        ["    if (data.size() > old.size()) {", "if (!writeAllAt(fd, old) ||"],
        ["    if (false) {", "if (true ||"], "tst_phrasefile"),
    "sink buffer kept from the last start": ("src/platform/audiosink.cpp",
        "    sink_->setBufferSize(format().bytesForDuration(kBufferMs * 1000));\n",
        "    if (!sink_->bufferSize()) sink_->setBufferSize(format().bytesForDuration(kBufferMs * 1000));\n",
        "tst_speech"),
    "Shift+Enter a lone LF": ("src/platform/TextBox.cpp",
        "if (event->matches(QKeySequence::InsertLineSeparator)) {", "if (false) {",
        "tst_phrasefile"),
    "voice 1 read as voice 0": ("src/platform/SpeechControl.h",
        "    if (index == 1) return kVoice1;", "    if (index == 1) return kVoice0;", "tst_shell"),
    "Clear leaves Start enabled": ("src/editing/editcommands.cpp",
        "    mSpeakTest->setEnabled(false);", "", "tst_shell"),
    "Stop leaves Pause enabled": ("src/speech/speechcommands.cpp",
        "    mPause->setEnabled(false);", "", "tst_shell"),
    "strikeout applied to the editor": ("src/settings/settingcommand.cpp",
        "applyFont(Text1, storedFont(settings_), false);",
        "applyFont(Text1, storedFont(settings_), true);", "tst_settings"),
    "size rounded half up": ("src/settings/Form2.cpp",
        "std::nearbyint(chosen->size)", "std::round(chosen->size)", "tst_settings"),
    "silence not trimmed": ("src/speech/pcm.cpp",
        "    return pcm.mid(2 * from, 2 * (to - from));", "    return pcm;", "tst_speech"),
    "clipboard keeps CR LF": ("src/platform/qtservices.cpp",
        'return out.replace(QStringLiteral("\\r\\n"), QStringLiteral("\\n"));', "return out;",
        "tst_shell"),
    "spellings forgotten": ("src/phrases/phrasecommands.cpp",
        "cp932::encode(text, spellings_)", "cp932::encode(text)", "tst_phrasefile"),
    "escapes written as '?'": ("src/phrases/cp932.cpp",
        "            e.bytes += char(text[i].unicode() - 0xDC00);", "            e.bytes += '?';",
        "tst_phrasefile"),
    "escapes read aloud as they are": ("src/speech/speechcommands.cpp",
        "    PtSvr1->SpeechSetText(escapes::shown(text));", "    PtSvr1->SpeechSetText(text);",
        "tst_phrasefile"),
    "no question before New drops edits": ("src/editing/editcommands.cpp",
        "    if (saveChangesFirst()) mClear_Click();", "    mClear_Click();", "tst_shell"),
    "Clear not undoable": ("src/editing/editcommands.cpp",
        "    Text1->clearUndoably();", "    Text1->setText(QString());", "tst_shell"),
    "span told when pulled, not heard": ("src/speech/jtalkspeech.cpp",
        "    heard_.setInterval(platform::AudioSink::kBufferMs);", "    heard_.setInterval(0);",
        "tst_speech"),
    "Pause not shown checked": ("src/speech/speechcommands.cpp",
        "mPause->setChecked(bPause && reading_);", "mPause->setChecked(false);", "tst_shell"),
    "no line end after the last line": ("src/phrases/phrasecommands.cpp",
        "    if (!text.endsWith(kCrLf)) text += kCrLf;\n", "", "tst_phrasefile"),
}


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=BUILD, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def main(names):
    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-G", "Ninja"], check=True,
                       stdout=subprocess.DEVNULL)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    missed = []
    for name in names or MUTANTS:
        path, old, new, tests = MUTANTS[name]
        full = os.path.join(ROOT, path)
        original = open(full, encoding="utf-8").read()
        olds, news = (old, new) if isinstance(old, list) else ([old], [new])
        if any(original.count(o) != 1 for o in olds):
            print(f"?? {name}: the text to change is not in {path} once")
            missed.append(name)
            continue
        try:
            changed = original
            for o, n in zip(olds, news):
                changed = changed.replace(o, n)
            open(full, "w", encoding="utf-8").write(changed)
            if run(["cmake", "--build", "."]).returncode != 0:
                print(f"ok {name}: does not build")
                continue
            env["XDG_RUNTIME_DIR"] = os.path.join(BUILD, "tests", "sound-server")
            caught = run(["ctest", "-R", f"sound_server|{tests}"], env=env).returncode != 0
            print(f"{'ok' if caught else 'MISSED'} {name}: {tests}")
            if not caught:
                missed.append(name)
        finally:
            open(full, "w", encoding="utf-8").write(original)
    run(["cmake", "--build", "."])
    print(f"{len(missed)} missed" + (": " + ", ".join(missed) if missed else ""))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
