#pragma once

// A non-blocking alert: an optional title, a message, an optional one-line text
// field and buttons, answered through a callback.
//
// Button indexes follow the order the caller reads them: the cancel button is
// index 0 and the other buttons follow in the order given (1, 2, ...). Pressing a
// button closes the alert and calls the callback once with that index and the text
// field's contents.
//
// Keys: Return and Enter press the default button (the last one, unless
// setDefaultButton() says otherwise; a confirmation that deletes or clears makes
// it the cancel button, 0); Escape presses the cancel button, index 0.
//
// show() may be called from any thread except the render thread: from a worker the
// alert is handed to the main thread and shown there. Everything else is main
// thread only. An alert owns itself from show() on and is deleted after it closes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QLineEdit;

class Alert : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(int buttonIndex, const QString& text)>;

    // An empty title means none; an empty cancelButton means no cancel button (the
    // other buttons then still start at index 1).
    Alert(QString title, QString message, QString cancelButton, QStringList otherButtons = {});
    ~Alert() override;

    // Fire-and-forget message with one "OK" button. Any thread.
    static void showMessage(const QString& title, const QString& message);

    void setCallback(Callback callback) { m_callback = std::move(callback); }
    // The button that Return and Enter press; -1 (the default): the last one.
    // Set before show().
    void setDefaultButton(int index) { m_defaultButton = index; }
    int defaultButton() const;
    // Adds the text field, with a placeholder and a first text.
    void setTextField(const QString& placeholder, const QString& text = {});

    // Presents the alert window-modally over the main window (MainWindow), active
    // or not, so that no second alert can be asked for from it until this one is
    // answered. Any thread.
    void show();

    QString title() const { return m_title; }
    QString message() const { return m_message; }
    // Button titles by index; index 0 is the cancel button (empty if none).
    QStringList buttonTitles() const;
    bool hasTextField() const { return m_hasTextField; }
    QString text() const;
    void setText(const QString& text);

    // As if the user pressed the button.
    void pressButton(int index);

    // The alerts being shown, oldest first (for tests and accessibility tools).
    static QList<Alert *> openAlerts();
    // Closes every open alert without calling callbacks.
    static void dismissAllForTesting();

    // The look of an alert window (a QDialog named "alert", its labels, a title
    // label named "title", its buttons), for other dialogs that look like one.
    static QString styleSheet();

Q_SIGNALS:
    void finished(int buttonIndex);

private:
    void present();
    void close(int index, bool notify);

    const QString m_title;
    const QString m_message;
    const QString m_cancelButton;
    const QStringList m_otherButtons;
    int m_defaultButton = -1;
    bool m_hasTextField = false;
    QString m_placeholder;
    QString m_text;
    Callback m_callback;
    QPointer<QDialog> m_dialog;   // main thread only
    QLineEdit *m_field = nullptr; // owned by m_dialog
    bool m_closed = false;
};
