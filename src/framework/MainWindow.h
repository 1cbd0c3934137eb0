#pragma once
// The application's main window: the window every box and dialog of the program belongs to,
// whichever window is active when it opens.
class QWidget;

// The main window, or null when there is none; a window that goes is forgotten.
QWidget* AfxGetMainWnd();
void AfxSetMainWnd(QWidget* window);
