#pragma once

// The About screen, titled "About" with "Close" on the right of the bar: the rows
// "Features" and "Change-log" push those pages; "Contact me" writes a mail to the
// author (subject "Quaver Pro") through the desktop's mail program, and shows
// nothing when no program handles mailto links. Each row's info button (Right
// arrow on the current row) does the same, except that its mail has no
// recipient. It expects to be the root of a navigation controller presented by a
// ScreenStack.
//
// Whether a mail program is there is asked on a worker (the desktop's answer can
// take a moment); mailChecked() reports the answer on the main thread.
//
// Keys: Up/Down move between rows, Return chooses, Escape closes. Main thread
// only.

#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>

class QListWidget;

class AboutController : public QWidget {
    Q_OBJECT
public:
    // Answers whether a mail program handles mailto links; called on a worker.
    using MailHandlerCheck = std::function<bool()>;
    // Hands a mailto URL to the mail program; called on the main thread.
    using MailOpener = std::function<void(const QUrl& url)>;

    explicit AboutController(QWidget *parent = nullptr);

    // Defaults: hasMailHandler() and QDesktopServices::openUrl().
    void setMailHandlerCheck(MailHandlerCheck check) { m_canSendMail = std::move(check); }
    void setMailOpener(MailOpener opener) { m_openMail = std::move(opener); }

    QListWidget *table() const { return m_table; }
    QStringList tableContents() const { return m_tableContents; }

    // Dismisses the screen through its navigation controller.
    void close();
    // As if the user chose row / pressed its info button.
    void didSelectRow(int row);
    void accessoryButtonTapped(int row);

    // The desktop's answer (xdg-mime) on whether a program handles mailto links;
    // false when it cannot be asked. Blocks for up to 3 s: call it on a worker.
    static bool hasMailHandler();
    // The contact mail's URL: subject "Quaver Pro", to the author or to nobody.
    static QUrl mailUrl(bool withRecipient);

Q_SIGNALS:
    // After "Contact me": whether the mail was handed on.
    void mailChecked(bool sent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void open(int row, bool withRecipient);

    const QStringList m_tableContents; // immutable
    QListWidget *m_table = nullptr;    // owned (child)
    MailHandlerCheck m_canSendMail;
    MailOpener m_openMail;
};
