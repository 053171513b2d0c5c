#pragma once

// The release notes, titled "Change-log": one section per version heading, the
// headings compared as plain strings in descending order ("2.0", "1.9",
// "1.10"), each with its entries in their given order. An entry shows bold, at
// most 5 lines of it; its row is as high as the whole entry needs in the regular
// font. Up/Down move between entries; choosing one does nothing. Main thread only.

#include <QMap>
#include <QString>
#include <QStringList>
#include <QWidget>

class QListWidget;

class Change_log : public QWidget {
    Q_OBJECT
public:
    // Version heading -> entries.
    using Notes = QMap<QString, QStringList>;

    explicit Change_log(Notes tableContents, QWidget *parent = nullptr);

    // This program's own notes; the newest heading is the version it was built as.
    static Notes releaseNotes();

    // The headings in the order shown.
    QStringList sectionTitles() const;
    QListWidget *table() const { return m_table; }

private:
    const Notes m_tableContents;    // immutable
    QListWidget *m_table = nullptr; // owned (child)
};
