#pragma once

// A static page, titled "Features", that tells what the program does. Up/Down
// and Page Up/Down scroll it. Main thread only.

#include <QWidget>

class QTextBrowser;

class Features : public QWidget {
    Q_OBJECT
public:
    explicit Features(QWidget *parent = nullptr);

    // The page as plain text.
    QString text() const;

private:
    QTextBrowser *m_page = nullptr; // owned (child)
};
