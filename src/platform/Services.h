#pragma once

#include "platform/AboutBox.h"
#include "platform/Clipboard.h"
#include "platform/FileDialogs.h"
#include "platform/FontDialog.h"
#include "platform/MessageBox.h"
#include "platform/SpeechControl.h"

namespace platform {

// The outside services a window is given; it reaches for nothing else.
struct Services {
    FileDialogs& fileDialogs;
    MessageBox& messageBox;
    Clipboard& clipboard;
    AboutBox& aboutBox;
    FontDialog& fontDialog;
    SpeechFactory newSpeech;
};

}  // namespace platform
