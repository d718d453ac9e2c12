// The overview's colours: Kestrel's lamps, and text that warns. Set through the palette, as the
// windows do (a style sheet would reset an inherited font).
#pragma once

#include "history/queries.h"

#include <QColor>
#include <QLabel>

namespace overview {

// Green, red, yellow (silent or unknown), or the desktop's greyed text (closed).
QColor LampColor(history::State state);

// Shows the text in red (a failure that stays) or in the desktop's colour; a label without text
// is hidden.
void ShowText(QLabel& label, const QString& text, bool warning);

} // namespace overview
