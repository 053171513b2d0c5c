#include "settings/EQList.h"

#include "audio/EffectsControl.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "services/EffectSettingsStore.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int kMarkedRole = Qt::UserRole;

// Draws the row as usual, then the check mark at its right end.
class CheckMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(kMarkedRole).toBool())
            return;
        painter->save();
        painter->setPen(Theme::kAccent);
        QFont font = option.font;
        font.setBold(true);
        painter->setFont(font);
        painter->drawText(option.rect.adjusted(0, 0, -12, 0), Qt::AlignRight | Qt::AlignVCenter,
                          QStringLiteral("✓"));
        painter->restore();
    }
};

} // namespace

EQList::EQList(EffectsControl *effects, QWidget *parent) : QWidget(parent), m_effects(effects)
{
    NavigationItem::of(this)->setTitle(QStringLiteral("EQ"));
    const std::optional<EffectSettings> engine =
        m_effects ? m_effects->engineEffects() : std::nullopt;
    if (engine) {
        m_eqPressets = m_effects->eqPresetNames();
        m_pressetIndex = engine->eqPreset.value_or(0);
    } else {
        m_pressetIndex = EffectSettingsStore::stored().eqPreset.value_or(0);
    }

    m_table = new QListWidget(this);
    m_table->setItemDelegate(new CheckMarkDelegate(m_table));
    m_table->setStyleSheet(
        Theme::darkList(false, QStringLiteral("outline: none; ")) +
        Theme::separatedRows(Theme::kLightSeparator, QStringLiteral("padding-left: 10px; ")) +
        Theme::focusRing(QStringLiteral("QListWidget::item"), 2));
    m_table->addItems(m_eqPressets);
    markRow();
    m_table->setCurrentRow(m_pressetIndex);
    connect(m_table, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { selectRow(m_table->row(item)); });
    connect(m_table, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { selectRow(m_table->row(item)); });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    if (m_eqPressets.isEmpty()) {
        auto *hint =
            new QLabel(QStringLiteral("Play a track to choose its equaliser preset."), this);
        hint->setWordWrap(true);
        hint->setMargin(20);
        hint->setAlignment(Qt::AlignCenter);
        hint->setStyleSheet(QStringLiteral("color: %1; %2")
                                .arg(Theme::css(Theme::kRowText), Theme::fontRule(Theme::kRowPx)));
        m_table->hide();
        layout->addWidget(hint);
    }
    setFocusProxy(m_table);
}

void EQList::selectRow(int row)
{
    if (row < 0 || row >= m_eqPressets.size())
        return;
    if (m_effects)
        m_effects->setEQPreset(row);
    m_pressetIndex = row;
    m_table->clearSelection();
    markRow();
}

void EQList::markRow()
{
    for (int r = 0; r < m_table->count(); ++r)
        m_table->item(r)->setData(kMarkedRole, r == m_pressetIndex);
}

void EQList::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    SettingsHelper::setSettings(SettingsKeys::EQ, m_pressetIndex);
}
