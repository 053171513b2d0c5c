#include "ui/Change_log.h"

#include "BuildConfig.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListWidget>
#include <QTextLayout>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kHeadingRole = Qt::UserRole; // set on heading rows only
constexpr int kTextWidth = 280;            // px, the width entries wrap at
constexpr int kMaxLines = 5;

// text wrapped by words at kTextWidth in font, cut to its first kMaxLines lines
// (the last one ending in "…" when text goes on), the lines joined by line breaks.
QString firstLines(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    QTextLine line = layout.createLine();
    for (; line.isValid() && lines.size() < kMaxLines; line = layout.createLine()) {
        line.setLineWidth(kTextWidth);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    if (line.isValid()) // more text than the lines hold
        lines.last() = QFontMetrics(font).elidedText(lines.last() + QStringLiteral(" …"),
                                                     Qt::ElideRight, kTextWidth);
    return lines.join(QLatin1Char('\n'));
}
} // namespace

Change_log::Change_log(Notes tableContents, QWidget *parent)
    : QWidget(parent), m_tableContents(std::move(tableContents))
{
    NavigationItem::of(this)->setTitle(QStringLiteral("Change-log"));
    m_table = new QListWidget(this);
    m_table->setWordWrap(true);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setTextElideMode(Qt::ElideNone);
    using namespace Theme;
    // Entries show bold; their rows are as high as the text needs in the regular font.
    const QFont entryFont = Theme::font(font(), kRowPx, true);
    const QFontMetrics metrics(Theme::font(font(), kRowPx, false));
    m_table->setStyleSheet(
        groupedList(QStringLiteral("color: %1; %2 padding: 0 10px; border-bottom: 1px solid %3;")
                        .arg(css(kDarkText), fontRule(kRowPx, true), css(kGreySeparator))) +
        QStringLiteral("QLabel { color: %1; %2 }").arg(css(kText), fontRule(kTitlePx, true)));
    for (const QString& heading : sectionTitles()) {
        auto *head = new QListWidgetItem(m_table);
        head->setFlags(Qt::NoItemFlags);
        head->setData(kHeadingRole, heading);
        head->setSizeHint(QSize(0, 40));
        auto *label = new QLabel(heading);
        label->setAlignment(Qt::AlignCenter);
        m_table->setItemWidget(head, label);
        for (const QString& entry : m_tableContents.value(heading)) {
            auto *row = new QListWidgetItem(firstLines(entry, entryFont), m_table);
            row->setFlags(Qt::ItemIsEnabled);
            const QRect bound(0, 0, kTextWidth, 9999);
            row->setSizeHint(
                QSize(0, metrics.boundingRect(bound, Qt::TextWordWrap, entry).height() + 14));
        }
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    setFocusProxy(m_table);
}

QStringList Change_log::sectionTitles() const
{
    QStringList headings = m_tableContents.keys();
    std::sort(headings.begin(), headings.end(), std::greater<QString>());
    return headings;
}

Change_log::Notes Change_log::releaseNotes()
{
    return {
        {QStringLiteral(QUAVER_VERSION),
         {QStringLiteral("Runs on the Linux desktop, with the desktop's media keys."),
          QStringLiteral("Tracks follow each other without a gap."),
          QStringLiteral("Playlists can be imported from and exported to M3U files."),
          QStringLiteral("Every equaliser, rate and volume change is heard at once.")}},
        {QStringLiteral("1.9"),
         {QStringLiteral("Bookmarks: open the browser at a home folder of your choice."),
          QStringLiteral("The volume limit keeps loud tracks down.")}},
        {QStringLiteral("1.5"),
         {QStringLiteral("Equaliser presets and the playback rate."),
          QStringLiteral("Songs of the music library by artist and playlist.")}},
        {QStringLiteral("1.0"), {QStringLiteral("First release: play music from your folders.")}},
    };
}
