#pragma once

class QWidget;

// Installs the standard error box (icon error, caption the application title)
// as the guard's error box, parented to window.
void installStandardErrorBox(QWidget *window);
