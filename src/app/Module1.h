#pragma once

#include <QByteArray>
#include <QString>

// The start procedure: takes the command line, shows the main window, runs the program.
int Main(int argc, char** argv);

// The arguments after the program's name joined by single spaces, taken whole: not
// trimmed or unquoted, and bytes that are not UTF-8 kept for the file system.
QString commandLine(int argc, char** argv);

// The names the desktop knows the program by, among them the desktop entry its windows are
// matched with (the dock's icon).
void nameApplication();

// The design font is a Windows one; it is drawn with an installed Japanese proportional gothic.
void installFontSubstitutes();
