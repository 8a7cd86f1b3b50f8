#pragma once

class QApplication;

// The look the window's fixed geometry was drawn for: a compact sans-serif font, so
// every caption fits its control.
void applyAppStyle(QApplication &app);
