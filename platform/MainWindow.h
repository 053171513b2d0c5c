#pragma once

// The program's one main window, to which every alert, action sheet and notice
// attaches: window-modal over it, never as a free window of its own, whether or
// not it is the active window (it may be unfocused, minimised, or offscreen).
//
// The window that holds the screen stack declares itself; until one has (and
// after it is destroyed) the active window stands in when it is a plain window,
// else the first visible plain top-level window, so that a dialog is never the
// main window.
//
// Main thread only.

class QWidget;

class MainWindow {
public:
    MainWindow() = delete;

    // Makes window's top-level window the main window until it is destroyed or
    // another is set; null is ignored.
    static void set(QWidget *window);
    // The main window; null when there is no plain top-level window at all.
    static QWidget *get();
};
