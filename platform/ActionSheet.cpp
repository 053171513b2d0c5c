#include "platform/ActionSheet.h"

#include "platform/Dispatch.h"
#include "platform/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QList<ActionSheet *> g_open; // main thread only
} // namespace

ActionSheet::ActionSheet(QString title, QString cancelButton, QString destructiveButton,
                         QStringList otherButtons)
    : m_title(std::move(title)), m_cancelButton(std::move(cancelButton)),
      m_destructiveButton(std::move(destructiveButton)), m_otherButtons(std::move(otherButtons))
{}

ActionSheet::~ActionSheet()
{
    g_open.removeOne(this);
    if (m_dialog) {
        m_dialog->removeEventFilter(this);
        delete m_dialog;
    }
}

QStringList ActionSheet::buttonTitles() const
{
    QStringList titles;
    if (!m_destructiveButton.isEmpty())
        titles << m_destructiveButton;
    titles << m_otherButtons;
    if (!m_cancelButton.isEmpty())
        titles << m_cancelButton;
    return titles;
}

int ActionSheet::destructiveButtonIndex() const
{
    return m_destructiveButton.isEmpty() ? -1 : 0;
}

int ActionSheet::cancelButtonIndex() const
{
    return m_cancelButton.isEmpty() ? -1 : int(buttonTitles().size()) - 1;
}

void ActionSheet::show()
{
    Dispatch::adoptOnMainThread(this, [this] { present(); });
}

void ActionSheet::present()
{
    g_open.append(this);

    QWidget *parent = MainWindow::get();
    auto *dialog = new QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
    m_dialog = dialog;
    dialog->setObjectName(QStringLiteral("actionSheet"));
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    dialog->setStyleSheet(QStringLiteral(
        "QDialog#actionSheet { background: rgba(20, 20, 20, 235); border-top: 1px solid #777; }"
        "QLabel { color: #c8c8c8; }"
        "QPushButton { color: white; font-weight: bold; background: #3a3a3a;"
        " border: 1px solid #111; border-radius: 8px; padding: 9px; }"
        "QPushButton:pressed { background: #222; }"
        "QPushButton[role=\"destructive\"] { background: #c0282d; }"
        "QPushButton[role=\"destructive\"]:pressed { background: #8e1d21; }"
        "QPushButton[role=\"cancel\"] { background: #1c1c1c; }"
        "QPushButton:focus { border: 2px solid white; }"));

    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(18, 12, 18, 14);
    layout->setSpacing(8);
    if (!m_title.isEmpty()) {
        auto *title = new QLabel(m_title, dialog);
        title->setAlignment(Qt::AlignCenter);
        title->setWordWrap(true);
        layout->addWidget(title);
    }
    const QStringList titles = buttonTitles();
    const int cancel = cancelButtonIndex();
    QPushButton *focused = nullptr;
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = new QPushButton(titles[i], dialog);
        button->setAutoDefault(false);
        if (i == destructiveButtonIndex())
            button->setProperty("role", QStringLiteral("destructive"));
        if (i == cancel) {
            button->setProperty("role", QStringLiteral("cancel"));
            layout->addSpacing(6);
        }
        connect(button, &QPushButton::clicked, this, [this, i] { pressButton(i); });
        layout->addWidget(button);
        if (!focused || i == cancel)
            focused = button;
    }
    dialog->installEventFilter(this);

    if (parent) {
        const QWidget *window = parent->window();
        dialog->setFixedWidth(window->width());
        dialog->adjustSize();
        dialog->move(window->mapToGlobal(QPoint(0, window->height() - dialog->height())));
    }
    dialog->show();
    // Space presses the focused button: the cancel button, so that it never
    // destroys by accident; the first button when there is no cancel button.
    if (focused)
        focused->setFocus();
}

bool ActionSheet::eventFilter(QObject *watched, QEvent *event)
{
    // Only these two event types are looked at: other events also arrive while the
    // dialog is being destroyed, when it must not be touched as a dialog.
    const bool escape = event->type() == QEvent::KeyPress &&
                        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
    if (!escape && event->type() != QEvent::Close)
        return false;
    if (m_closed || watched != m_dialog)
        return false;
    // Escape and a close request from the window system answer with the cancel
    // button; a sheet without one stays until a button is chosen.
    if (cancelButtonIndex() >= 0)
        pressButton(cancelButtonIndex());
    event->ignore();
    return true;
}

void ActionSheet::pressButton(int index)
{
    if (index < 0 || index >= buttonTitles().size())
        return;
    close(index, true);
}

void ActionSheet::close(int index, bool notify)
{
    if (m_closed)
        return;
    m_closed = true;
    g_open.removeOne(this);
    if (m_dialog)
        m_dialog->hide();
    if (notify) {
        if (m_callback)
            m_callback(index);
        Q_EMIT finished(index);
    }
    deleteLater();
}

QList<ActionSheet *> ActionSheet::openSheets()
{
    return g_open;
}

void ActionSheet::dismissAllForTesting()
{
    const QList<ActionSheet *> open = g_open;
    for (ActionSheet *sheet : open)
        sheet->close(0, false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
