#include "ui/Change_log.h"

#include "BuildConfig.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kHeadingRole = Qt::UserRole; // set on heading rows only
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
    const QFontMetrics metrics(Theme::font(font(), kRowPx, true));
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
            auto *row = new QListWidgetItem(entry, m_table);
            row->setFlags(Qt::ItemIsEnabled);
            row->setSizeHint(QSize(
                0, metrics.boundingRect(QRect(0, 0, 280, 9999), Qt::TextWordWrap, entry).height() +
                       14));
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
