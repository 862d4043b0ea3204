#pragma once

#include "platform/FontDialog.h"
#include "settings/SharedSettings.h"

class QWidget;

// Gives a widget a chosen font and text colour. A size of 0 or less leaves its size as it
// was; strikethrough is set only when asked for, as the editor never takes it.
void applyFont(QWidget* widget, const platform::FontChoice& font, bool withStrikeOut);

// The font the shared settings hold; an empty colour is black.
platform::FontChoice storedFont(const SharedSettings& settings);
