#include "ui/AboutController.h"

#include "BuildConfig.h"
#include "platform/Dispatch.h"
#include "ui/Change_log.h"
#include "ui/Features.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QUrlQuery>
#include <QVBoxLayout>

AboutController::AboutController(QWidget *parent)
    : QWidget(parent), m_tableContents({QStringLiteral("Features"), QStringLiteral("Change-log"),
                                        QStringLiteral("Contact me")}),
      m_canSendMail(&AboutController::hasMailHandler),
      m_openMail([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    NavigationItem *item = NavigationItem::of(this);
    item->setTitle(QStringLiteral("About"));
    item->setRightButton(NavigationBar::makeButton(
        QStringLiteral("Close"), NavigationBar::ButtonStyle::Done, this, [this] { close(); }));

    m_table = new QListWidget(this);
    using namespace Theme;
    m_table->setStyleSheet(
        QStringLiteral("QListWidget { background: %1; outline: none; border: none; }"
                       "QListWidget::item { border-bottom: 1px solid %2; }"
                       "QListWidget::item:selected, QListWidget::item:focus { background: %3; }"
                       "QLabel { color: %4; %5 }"
                       "QPushButton { color: %6; border: 2px solid %6; border-radius: 11px;"
                       " font-weight: bold; }")
            .arg(css(kCell), css(kMenuSeparator), css(kSelectedCell), css(kDarkText),
                 fontRule(kRowPx, true), css(kTint)));
    for (int row = 0; row < m_tableContents.size(); ++row) {
        auto *rowItem = new QListWidgetItem(m_table);
        rowItem->setSizeHint(QSize(0, 44));
        rowItem->setData(Qt::AccessibleTextRole, m_tableContents[row]);
        auto *cell = new QWidget;
        auto *title = new QLabel(m_tableContents[row], cell);
        auto *info = new QPushButton(QStringLiteral("i"), cell);
        info->setFixedSize(22, 22);
        info->setFocusPolicy(Qt::NoFocus);
        info->setAccessibleName(m_tableContents[row] + QStringLiteral(" (info)"));
        connect(info, &QPushButton::clicked, this, [this, row] { accessoryButtonTapped(row); });
        auto *layout = new QHBoxLayout(cell);
        layout->setContentsMargins(10, 0, 10, 0);
        layout->addWidget(title, 1);
        layout->addWidget(info);
        m_table->setItemWidget(rowItem, cell);
    }
    connect(m_table, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *row) { didSelectRow(m_table->row(row)); });
    m_table->installEventFilter(this);
    m_table->setCurrentRow(0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    setFocusProxy(m_table);
}

void AboutController::close()
{
    if (NavigationController *controller = NavigationController::of(this))
        controller->dismiss();
}

void AboutController::didSelectRow(int row)
{
    open(row, true);
    m_table->clearSelection();
}

void AboutController::accessoryButtonTapped(int row)
{
    open(row, false);
}

void AboutController::open(int row, bool withRecipient)
{
    NavigationController *controller = NavigationController::of(this);
    if (row == 0 && controller) {
        controller->push(new Features);
    } else if (row == 1 && controller) {
        controller->push(new Change_log(Change_log::releaseNotes()));
    } else if (row == 2) {
        QPointer<AboutController> self(this);
        Dispatch::globalHigh([self, check = m_canSendMail, withRecipient] {
            const bool canSend = check && check();
            Dispatch::main([self, canSend, withRecipient] {
                if (!self)
                    return;
                if (canSend && self->m_openMail)
                    self->m_openMail(mailUrl(withRecipient));
                Q_EMIT self->mailChecked(canSend);
            });
        });
    }
}

bool AboutController::hasMailHandler()
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

QUrl AboutController::mailUrl(bool withRecipient)
{
    QUrl url(QStringLiteral("mailto:"));
    if (withRecipient)
        url.setPath(QStringLiteral(QUAVER_CONTACT_EMAIL));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Quaver Pro"));
    url.setQuery(query);
    return url;
}

bool AboutController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int row = m_table->currentRow();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            didSelectRow(row);
            return true;
        }
        if (key == Qt::Key_Right) {
            accessoryButtonTapped(row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
