#include "ui/Features.h"

#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char kPage[] =
    "<h3>Play from your own folders</h3>"
    "<p>Browse the folders of your computer from your home folder, or from a bookmarked "
    "home folder of your choice. Pick files and whole folders and add them to the current "
    "list; copy, move, delete and create folders on the way.</p>"
    "<h3>Playlists</h3>"
    "<p>Save the current list as a named playlist, open it again later, rename it, change "
    "its order, and exchange it with other players as an M3U file.</p>"
    "<h3>Shape the sound</h3>"
    "<p>An equaliser with more than twenty presets, a playback rate from half to double "
    "speed, and a volume limit that keeps every track below the level you choose. Every "
    "change is heard at once and remembered for the next track.</p>"
    "<h3>Play your way</h3>"
    "<p>Repeat one or all, shuffle, and tracks that follow each other without a gap. The "
    "media keys of your keyboard and desktop control the player, and a key press stands in "
    "for a shake to skip to the next track.</p>"
    "<h3>Video</h3>"
    "<p>Video files play their sound like any song; their picture is one tap away.</p>"
    "<h3>Your music library</h3>"
    "<p>Add the songs of a phone's music library by artist or by its playlists, read "
    "straight from the library's own files.</p>";

} // namespace

Features::Features(QWidget *parent) : QWidget(parent)
{
    NavigationItem::of(this)->setTitle(QStringLiteral("Features"));
    m_page = new QTextBrowser(this);
    m_page->setOpenLinks(false);
    m_page->setStyleSheet(
        QStringLiteral("QTextBrowser { background: %1; color: %2; border: none; padding: 6px; %3 }")
            .arg(Theme::css(Theme::kCell), Theme::css(Theme::kDarkText),
                 Theme::fontRule(Theme::kBodyPx)));
    m_page->setHtml(QString::fromUtf8(kPage));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);
    setFocusProxy(m_page);
}

QString Features::text() const
{
    return m_page->toPlainText();
}
