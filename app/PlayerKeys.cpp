#include "app/PlayerKeys.h"

#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "ui/PopupView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

PlayerKeys::PlayerKeys(MainViewController& screen) : QObject(&screen), m_screen(screen)
{
    Transport& transport = screen.transport();
    const auto shortcut = [&screen](QKeySequence keys) {
        auto *made = new QShortcut(keys, &screen);
        made->setContext(Qt::WindowShortcut);
        return made;
    };
    // Shake: the keyboard stands in for the motion sensor.
    connect(shortcut(QKeySequence(Qt::CTRL | Qt::Key_K)), &QShortcut::activated, &transport,
            &Transport::motionEnded);
    connect(shortcut(QKeySequence(Qt::Key_F1)), &QShortcut::activated, &screen,
            &MainViewController::showAbout);
    connect(shortcut(QKeySequence(Qt::Key_Space)), &QShortcut::activated, this, [this] {
        // Over the movie, the key pauses and resumes the sound the picture follows,
        // and nothing else of the hidden player.
        Transport& t = m_screen.transport();
        if (!m_screen.videoController())
            t.playButton();
        else if (t.player())
            t.remoteControlReceivedWithEvent(RemoteControlTogglePlayPause);
    });
    screen.setToolTip(keysHelp());
    qApp->installEventFilter(this);
}

QString PlayerKeys::keysHelp()
{
    return QStringLiteral("Space: play or pause\n"
                          "Left / Right: back or forward 5 s\n"
                          "Page Down / Page Up: back or forward 30 s\n"
                          "Up / Down: volume up or down\n"
                          "Tab: next control; Return: press it\n"
                          "Escape: close the menu\n"
                          "Ctrl+K: next, when Shake To Shuffle is on\n"
                          "F1: About");
}

bool PlayerKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == m_screen.outlets().timeSeeker)
        seekToClick(static_cast<QMouseEvent *>(event));
    else if (event->type() == QEvent::KeyPress)
        return screenKey(watched, static_cast<QKeyEvent *>(event));
    return false;
}

bool PlayerKeys::screenKey(QObject *receiver, const QKeyEvent *key)
{
    // A key the focus widget ignores travels on to its parents, each time through
    // this filter: only its first receiver decides. Without a focus widget the
    // window receives it.
    QWidget *focus = QApplication::focusWidget();
    const bool onScreen =
        focus ? receiver == focus && (focus == &m_screen || m_screen.isAncestorOf(focus))
              : receiver == m_screen.window() && m_screen.isVisible();
    if (!onScreen || m_screen.videoController())
        return false;
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier)
        return false;

    if (key->key() == Qt::Key_Escape && m_screen.popoverIsActive()) {
        m_screen.dismissPopupView();
        if (QWidget *opener = m_screen.menuOpener())
            opener->setFocus(Qt::PopupFocusReason);
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        auto *button = qobject_cast<QAbstractButton *>(focus);
        if (!button || !button->isEnabled())
            return false; // the list opens its row itself
        button->click();
        return true;
    }

    for (QWidget *w = focus; w && w != &m_screen; w = w->parentWidget()) {
        if (auto *menu = qobject_cast<PopupView *>(w)) {
            // A menu keeps the focus on its entries; a button alone would take
            // every arrow for a Tab.
            const int k = key->key();
            if (k == Qt::Key_Up || k == Qt::Key_Down)
                menu->moveEntryFocus(k == Qt::Key_Down ? 1 : -1);
            return k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Left || k == Qt::Key_Right;
        }
    }
    // Where the arrows have a meaning of their own, they keep it.
    if (focus && (focus->testAttribute(Qt::WA_InputMethodEnabled) ||
                  qobject_cast<QAbstractItemView *>(focus)))
        return false;
    QSlider *volume = m_screen.outlets().volumeView;
    switch (key->key()) {
    case Qt::Key_Left:
        m_screen.seekBy(-kSeekStep);
        return true;
    case Qt::Key_Right:
        m_screen.seekBy(kSeekStep);
        return true;
    case Qt::Key_PageDown:
        m_screen.seekBy(-kSeekPage);
        return true;
    case Qt::Key_PageUp:
        m_screen.seekBy(kSeekPage);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        volume->setValue(volume->value() + (key->key() == Qt::Key_Up ? kVolumeStep : -kVolumeStep));
        return true;
    default:
        return false;
    }
}

void PlayerKeys::seekToClick(const QMouseEvent *press)
{
    QSlider *slider = m_screen.outlets().timeSeeker;
    if (press->button() != Qt::LeftButton || slider->maximum() <= slider->minimum())
        return;
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    QStyle *style = slider->style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QPoint at = press->position().toPoint();
    if (handle.contains(at))
        return; // a drag of the knob
    const int span = groove.width() - handle.width();
    const int x = at.x() - groove.left() - handle.width() / 2;
    // With the knob under the pointer, the slider takes the press as the start of a
    // drag rather than a page step.
    slider->setSliderPosition(
        QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), x, qMax(1, span)));
}
