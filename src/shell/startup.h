#pragma once
// The program's start-up sequence, apart from main() so that tests can run it.
#include <memory>

class MainWindow;

// Sets the application title and help file, creates the main window, the
// download dialog, the splash window and the about box in that order, shows
// the splash window modally until its timer closes it, destroys it and shows
// the main window maximised (or as the last run left it). The caller then runs the message loop. The
// download dialog and the about box belong to the main window.
std::unique_ptr<MainWindow> StartUp();
