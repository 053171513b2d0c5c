#include "browser/BookmarksList.h"

#include "services/FileManager.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

BookmarksList::BookmarksList(QWidget *parent) : QWidget(parent)
{
    NavigationItem::of(this)->setTitle(QStringLiteral("Bookmarks"));

    m_table = new QListWidget(this);
    // Transparent, so the background of whatever holds the screen shows through.
    m_table->setFrameShape(QFrame::NoFrame);
    using namespace Theme;
    m_table->setStyleSheet(
        QStringLiteral("QListWidget { background: transparent; color: %1; %2 }")
            .arg(css(kBookmarkText), fontRule(kRowPx)) +
        separatedRows(kFaintSeparator, QStringLiteral("padding-left: 6px; ")) +
        QStringLiteral("QListWidget::item:selected { background: %1; }"
                       "QLabel#check { color: %2; %3 }")
            .arg(css(kSelectionFill), css(kBookmarkMark), fontRule(kTitlePx, true)) +
        deleteButton(false));
    m_table->installEventFilter(this);
    connect(m_table, &QListWidget::itemClicked, this, [this](QListWidgetItem *row) {
        if (!m_editing)
            chooseRow(m_table->row(row));
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    setFocusProxy(m_table);

    readStore();
    reload();
    setupEditButton();
}

QAbstractButton *BookmarksList::editButton() const
{
    const NavigationItem *item = NavigationItem::find(this);
    return item ? item->rightButton() : nullptr;
}

void BookmarksList::readStore()
{
    m_tableContents = SettingsHelper::bookmarks();
    m_activeBookmark =
        int(SettingsHelper::intValue(SettingsHelper::settingsDict(), SettingsKeys::ActiveBookmark)
                .value_or(-1));
}

void BookmarksList::reload()
{
    const int current = m_table->currentRow();
    m_table->clear();
    for (int r = 0; r < m_tableContents.size(); ++r) {
        auto *row = new QListWidgetItem(QStringLiteral("%1. %2").arg(r + 1).arg(
                                            FileManager::lastPathComponent(m_tableContents[r])),
                                        m_table);
        row->setToolTip(m_tableContents[r]);
        auto *accessories = new QWidget;
        auto *layout = new QHBoxLayout(accessories);
        layout->setContentsMargins(0, 0, 10, 0);
        layout->addStretch();
        if (r == m_activeBookmark) {
            auto *check = new QLabel(QStringLiteral("✓"), accessories);
            check->setObjectName(QStringLiteral("check"));
            check->setAccessibleName(QStringLiteral("Active bookmark"));
            layout->addWidget(check);
        }
        auto *remove = new QPushButton(QStringLiteral("Delete"), accessories);
        remove->setObjectName(QStringLiteral("delete"));
        remove->setFocusPolicy(Qt::NoFocus);
        remove->setVisible(m_editing);
        connect(remove, &QPushButton::clicked, this, [this, r] { deleteRow(r); });
        layout->addWidget(remove);
        m_table->setItemWidget(row, accessories);
    }
    if (!m_tableContents.isEmpty())
        m_table->setCurrentRow(qBound(0, current, int(m_tableContents.size()) - 1));
}

void BookmarksList::setupEditButton()
{
    NavigationItem *item = NavigationItem::of(this);
    if (m_tableContents.isEmpty()) {
        m_editing = false;
        item->setRightButton(nullptr);
        return;
    }
    QAbstractButton *button = item->rightButton();
    if (!button) {
        button =
            NavigationBar::makeButton(QStringLiteral("Edit"), NavigationBar::ButtonStyle::Bordered,
                                      this, [this] { toggleEditing(); });
        item->setRightButton(button);
    }
    button->setText(m_editing ? QStringLiteral("Done") : QStringLiteral("Edit"));
    NavigationBar::setButtonStyle(button, m_editing ? NavigationBar::ButtonStyle::Done
                                                    : NavigationBar::ButtonStyle::Bordered);
}

void BookmarksList::toggleEditing()
{
    if (m_tableContents.isEmpty())
        return;
    m_editing = !m_editing;
    for (int r = 0; r < m_table->count(); ++r) {
        if (QWidget *accessories = m_table->itemWidget(m_table->item(r)))
            if (auto *remove = accessories->findChild<QPushButton *>(QStringLiteral("delete")))
                remove->setVisible(m_editing);
    }
    setupEditButton();
}

void BookmarksList::chooseRow(int row)
{
    if (row < 0 || row >= m_tableContents.size())
        return;
    m_activeBookmark = row;
    SettingsHelper::setSettings(SettingsKeys::ActiveBookmark, row);
    reload();
    m_table->clearSelection();
}

void BookmarksList::deleteRow(int row)
{
    if (row < 0 || row >= m_tableContents.size())
        return;
    SettingsHelper::removeBookmarkWithName(m_tableContents[row]);
    // The store keeps the active index on the same folder (and removes every
    // entry equal to the path), so the screen shows what was stored.
    readStore();
    reload();
    setupEditButton();
}

bool BookmarksList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            chooseRow(m_table->currentRow());
            return true;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            // Out of editing mode a stray key press deletes nothing.
            if (!m_editing)
                break;
            deleteRow(m_table->currentRow());
            return true;
        case Qt::Key_E:
            if (key->modifiers() & Qt::ControlModifier) {
                toggleEditing();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
