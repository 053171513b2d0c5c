#pragma once

// A non-blocking action sheet: an optional title over a column of buttons at the
// bottom of the main window (MainWindow), answered through a callback.
//
// Button indexes follow the order the buttons are shown, top to bottom: the
// destructive button (if any) is index 0, the other buttons follow in the order
// given, and the cancel button (if any) is last. Pressing a button closes the
// sheet and calls the callback once with that index; Escape presses the cancel
// button (and does nothing when there is none). The keyboard focus starts on the
// cancel button (else the first), so Space never presses a destructive one;
// Return and Enter press nothing. Callers that dispatch on titles
// read them with buttonTitles().
//
// show() may be called from any thread except the render thread: from a worker the
// sheet is handed to the main thread and shown there. Everything else is main
// thread only. A sheet owns itself from show() on and is deleted after it closes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QDialog;

class ActionSheet : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(int buttonIndex)>;

    // Empty strings mean no title, no cancel button, no destructive button.
    ActionSheet(QString title, QString cancelButton, QString destructiveButton,
                QStringList otherButtons = {});
    ~ActionSheet() override;

    void setCallback(Callback callback) { m_callback = std::move(callback); }

    // Presents the sheet window-modally at the bottom of the main window, active
    // or not. Any thread.
    void show();

    QString title() const { return m_title; }
    // Button titles by index, in the order shown.
    QStringList buttonTitles() const;
    // -1 when the sheet has no such button.
    int destructiveButtonIndex() const;
    int cancelButtonIndex() const;

    // As if the user pressed the button; an index out of range is ignored.
    void pressButton(int index);

    // The sheets being shown, oldest first (for tests and accessibility tools).
    static QList<ActionSheet *> openSheets();
    // Closes every open sheet without calling callbacks.
    static void dismissAllForTesting();

Q_SIGNALS:
    void finished(int buttonIndex);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void present();
    void close(int index, bool notify);

    const QString m_title;
    const QString m_cancelButton;
    const QString m_destructiveButton;
    const QStringList m_otherButtons;
    Callback m_callback;
    QPointer<QDialog> m_dialog; // main thread only
    bool m_closed = false;
};
