#include "platform/Alert.h"

#include "platform/Dispatch.h"
#include "platform/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QList<Alert *> g_open; // main thread only
} // namespace

Alert::Alert(QString title, QString message, QString cancelButton, QStringList otherButtons)
    : m_title(std::move(title)), m_message(std::move(message)),
      m_cancelButton(std::move(cancelButton)), m_otherButtons(std::move(otherButtons))
{}

Alert::~Alert()
{
    g_open.removeOne(this);
    delete m_dialog;
}

void Alert::showMessage(const QString& title, const QString& message)
{
    (new Alert(title, message, QStringLiteral("OK")))->show();
}

void Alert::setTextField(const QString& placeholder, const QString& text)
{
    m_hasTextField = true;
    m_placeholder = placeholder;
    m_text = text;
}

QStringList Alert::buttonTitles() const
{
    return QStringList{m_cancelButton} + m_otherButtons;
}

int Alert::defaultButton() const
{
    const int count = int(buttonTitles().size());
    return m_defaultButton >= 0 && m_defaultButton < count ? m_defaultButton : count - 1;
}

QString Alert::text() const
{
    return m_field ? m_field->text() : m_text;
}

void Alert::setText(const QString& text)
{
    m_text = text;
    if (m_field)
        m_field->setText(text);
}

void Alert::show()
{
    Dispatch::adoptOnMainThread(this, [this] { present(); });
}

QString Alert::styleSheet()
{
    return QStringLiteral(
        "QDialog#alert { background: #1f2a44; border: 1px solid #8fa3c8; border-radius: 10px; }"
        "QLabel { color: white; } QLabel#title { font-weight: bold; }"
        "QPushButton { color: white; background: #3b4d74; border: 1px solid #8fa3c8;"
        " border-radius: 6px; padding: 6px 12px; }"
        "QPushButton:focus { border: 2px solid white; }");
}

void Alert::present()
{
    g_open.append(this);

    QWidget *parent = MainWindow::get();
    auto *dialog = new QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
    m_dialog = dialog;
    dialog->setObjectName(QStringLiteral("alert"));
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    dialog->setStyleSheet(styleSheet());

    auto *layout = new QVBoxLayout(dialog);
    if (!m_title.isEmpty()) {
        auto *title = new QLabel(m_title, dialog);
        title->setObjectName(QStringLiteral("title"));
        title->setAlignment(Qt::AlignCenter);
        layout->addWidget(title);
    }
    if (!m_message.isEmpty()) {
        auto *message = new QLabel(m_message, dialog);
        message->setWordWrap(true);
        message->setAlignment(Qt::AlignCenter);
        layout->addWidget(message);
    }
    if (m_hasTextField) {
        m_field = new QLineEdit(m_text, dialog);
        m_field->setPlaceholderText(m_placeholder);
        layout->addWidget(m_field);
    }
    auto *row = new QHBoxLayout;
    const QStringList titles = buttonTitles();
    QPushButton *defaultButton = nullptr;
    for (int i = 0; i < titles.size(); ++i) {
        if (titles[i].isEmpty())
            continue;
        auto *button = new QPushButton(titles[i], dialog);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { pressButton(i); });
        row->addWidget(button);
        if (i == this->defaultButton())
            defaultButton = button;
    }
    layout->addLayout(row);
    // Escape rejects the dialog, which answers like the cancel button.
    if (defaultButton)
        defaultButton->setDefault(true);
    connect(dialog, &QDialog::rejected, this, [this] {
        if (!m_closed)
            pressButton(0);
    });
    dialog->setMinimumWidth(260);
    dialog->show();
    // Space presses the focused button: it starts on the default one.
    if (m_field)
        m_field->setFocus();
    else if (defaultButton)
        defaultButton->setFocus();
}

void Alert::pressButton(int index)
{
    close(index, true);
}

void Alert::close(int index, bool notify)
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_field)
        m_text = m_field->text();
    g_open.removeOne(this);
    if (m_dialog)
        m_dialog->hide();
    if (notify) {
        if (m_callback)
            m_callback(index, m_text);
        Q_EMIT finished(index);
    }
    deleteLater();
}

QList<Alert *> Alert::openAlerts()
{
    return g_open;
}

void Alert::dismissAllForTesting()
{
    const QList<Alert *> open = g_open;
    for (Alert *alert : open)
        alert->close(0, false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
