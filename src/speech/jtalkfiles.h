#pragma once

#include <QString>

namespace speech {

// Where the engine program, its dictionary and its voice are.
struct JTalkFiles {
    QString program;
    QString dictionary;
    QString voice;
    // The Debian packages' places first, then the usual /usr/local ones.
    static JTalkFiles find();
    // What is missing, told to the user with the package that provides it; empty when all is
    // there.
    QString missing() const;
};

}  // namespace speech
