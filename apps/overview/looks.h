// The overview's colours: Kestrel's lamps, and text that warns. Set through the palette, as the
// windows do (a style sheet would reset an inherited font).
#pragma once

#include "history/queries.h"

#include <QColor>
#include <QWidget>

namespace overview {

// Green, red, yellow (silent or unknown), or the desktop's greyed text (closed).
QColor LampColor(history::State state);

// The widget's text in red (a failure that stays), or back in the desktop's colour.
void SetWarning(QWidget& widget, bool warning);

} // namespace overview
