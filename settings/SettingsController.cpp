#include "settings/SettingsController.h"

#include "audio/EQPresets.h"
#include "audio/EffectsControl.h"
#include "services/EffectSettingsStore.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "settings/EQList.h"
#include "settings/SettingsLabelCell.h"
#include "settings/SliderView.h"
#include "settings/SwitchCell.h"
#include "ui/Icons.h"
#include "ui/NavigationBar.h"
#include "ui/NavigationController.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kTagRole = Qt::UserRole; // section * 10 + row; absent on headers
} // namespace

SettingsController::SettingsController(EffectsControl *effects, QWidget *parent)
    : QWidget(parent), m_effects(effects), m_interfaceDict(CASettings::settingsList())
{
    NavigationItem *navigation = NavigationItem::of(this);
    navigation->setTitle(QStringLiteral("Settings"));
    navigation->setRightButton(NavigationBar::makeButton(
        QStringLiteral("Close"), NavigationBar::ButtonStyle::Done, this, [this] { close(); }));

    m_table = new QListWidget(this);
    using namespace Theme;
    m_table->setStyleSheet(
        groupedList(
            QStringLiteral("border-bottom: 1px solid %1;").arg(css(kLightSeparator)),
            QStringLiteral("url(%1)").arg(Icons::resourcePath(QStringLiteral("background.png")))) +
        QStringLiteral("QListWidget::item:selected { background: %1; }"
                       "QLabel#title { color: %2; %3 }"
                       "QLabel#option, QLabel#disclosure { color: %4; %5 }"
                       "QLabel#header { color: %6; %7 }")
            .arg(css(kTint), css(kDarkText), fontRule(kRowPx, true), css(kOptionText),
                 fontRule(kRowPx), css(kRowText), fontRule(kSectionPx, true)));
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int s = 0; s < m_interfaceDict.size(); ++s) {
        const CASettings::Section& section = m_interfaceDict[s];
        auto *header = new QListWidgetItem(m_table);
        header->setFlags(Qt::NoItemFlags);
        header->setSizeHint(QSize(0, 40));
        auto *headerLabel = new QLabel(QStringLiteral("   %1").arg(section.title));
        headerLabel->setObjectName(QStringLiteral("header"));
        m_table->setItemWidget(header, headerLabel);
        for (int n = 0; n < section.rows.size(); ++n) {
            const CASettings::Row& row = section.rows[n];
            auto *item = new QListWidgetItem(m_table);
            item->setData(kTagRole, s * 10 + n);
            item->setData(Qt::AccessibleTextRole, row.title);
            item->setSizeHint(QSize(0, 44));
            if (row.type == CASettings::kSwitch) {
                auto *cell = new SwitchCell(row.title);
                cell->setTag(s * 10 + n);
                connect(cell, &SwitchCell::switched, this,
                        [this, tag = s * 10 + n](bool on) { switchSelected(tag, on); });
                m_table->setItemWidget(item, cell);
            } else {
                m_table->setItemWidget(item, new SettingsLabelCell(row.title));
            }
        }
    }
    connect(m_table, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *row) { activated(row, false); });
    m_table->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    setFocusProxy(m_table);
    m_table->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    reload();
}

QWidget *SettingsController::cell(int section, int row) const
{
    for (int i = 0; i < m_table->count(); ++i) {
        QListWidgetItem *item = m_table->item(i);
        if (item->data(kTagRole) == QVariant(section * 10 + row))
            return m_table->itemWidget(item);
    }
    return nullptr;
}

QString SettingsController::optionText(const QString& title) const
{
    // Without an engine: the stored values, which the next engine is given; a value
    // never stored reads as a new engine keeps it (no preset, rate 0, limit 1.0).
    const std::optional<EffectSettings> engine =
        m_effects ? m_effects->engineEffects() : std::nullopt;
    const EffectSettings effects = engine.value_or(EffectSettingsStore::stored());
    if (title == QLatin1String("EQ")) {
        const QStringList names = engine ? m_effects->eqPresetNames() : EQPresets::names();
        return effects.eqPreset ? names.value(*effects.eqPreset) : QString();
    }
    if (title == QLatin1String("Playback Rate"))
        return QString::asprintf("x %.1f", double(effects.playbackRate.value_or(0.0f)));
    if (title == QLatin1String("Volume Limit")) {
        const double limit =
            double(effects.volumeLimit.value_or(EffectSettings::kDefaultVolumeLimit));
        return limit >= 1.0 ? QStringLiteral("Off") : QString::asprintf("%.f %%", limit * 100);
    }
    if (title == QLatin1String("ReplayGain")) {
        static const QString names[] = {QStringLiteral("Off"), QStringLiteral("Track"),
                                        QStringLiteral("Album")};
        return names[int(effects.replayGain.value_or(EffectSettings::kDefaultReplayGain))];
    }
    if (title == QLatin1String("Bookmarks")) {
        const QString path = SettingsHelper::activeBookmark().value_or(QString());
        const QString name = path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
        return name.isEmpty() && path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : name;
    }
    return {};
}

void SettingsController::close()
{
    if (NavigationController *controller = NavigationController::of(this))
        controller->dismiss();
}

void SettingsController::didSelectRow(int section, int row)
{
    if (section < 0 || section >= m_interfaceDict.size() || row < 0 ||
        row >= m_interfaceDict[section].rows.size())
        return;
    const QString title = m_interfaceDict[section].rows[row].title;
    NavigationController *controller = NavigationController::of(this);
    QWidget *editor = nullptr;
    if (title == QLatin1String("EQ")) {
        editor = new EQList(m_effects);
    } else if (title == QLatin1String("Playback Rate") || title == QLatin1String("Volume Limit")) {
        editor = new SliderView(m_effects, title);
    } else if (title == QLatin1String("Bookmarks")) {
        const QString tile = QStringLiteral("background.png");
        if (controller)
            controller->setBackgroundBrush(Icons::pixmap(tile, Icons::naturalSize(tile)));
        editor = m_bookmarks ? m_bookmarks() : nullptr;
    } else if (title == QLatin1String("ReplayGain")) {
        nextReplayGain();
    }
    m_table->clearSelection();
    if (editor && controller)
        controller->push(editor);
    else
        delete editor;
}

void SettingsController::nextReplayGain()
{
    const std::optional<EffectSettings> engine =
        m_effects ? m_effects->engineEffects() : std::nullopt;
    const ReplayGain::Mode now = engine.value_or(EffectSettingsStore::stored())
                                     .replayGain.value_or(EffectSettings::kDefaultReplayGain);
    const ReplayGain::Mode next = *EffectSettings::replayGainMode(
        (int64_t(now) + 1) % (int64_t(ReplayGain::Mode::Album) + 1));
    SettingsHelper::setSettings(SettingsKeys::ReplayGain, int(next));
    if (m_effects)
        m_effects->setReplayGain(next);
    reload();
}

void SettingsController::switchSelected(int tag, bool on)
{
    const int s = tag / 10;
    const int n = tag - 10 * s;
    if (s < 0 || s >= m_interfaceDict.size() || n < 0 || n >= m_interfaceDict[s].rows.size())
        return;
    QString key = m_interfaceDict[s].rows[n].title;
    key.remove(QLatin1Char(' '));
    SettingsHelper::setSettings(key, on);
    if (key == SettingsKeys::KeepPitch && m_effects)
        m_effects->setKeepPitch(on);
    if (key == SettingsKeys::HomeFolder) {
        if (!SettingsHelper::settingsDict().contains(SettingsKeys::ActiveBookmark))
            SettingsHelper::setSettings(SettingsKeys::ActiveBookmark, -1);
        reload();
    }
}

void SettingsController::reload()
{
    for (int s = 0; s < m_interfaceDict.size(); ++s) {
        for (int n = 0; n < m_interfaceDict[s].rows.size(); ++n) {
            const QString& title = m_interfaceDict[s].rows[n].title;
            if (auto *sw = qobject_cast<SwitchCell *>(cell(s, n)))
                sw->setOn(SettingsHelper::getSwitchStateForSettingWithName(title));
            else if (auto *label = qobject_cast<SettingsLabelCell *>(cell(s, n)))
                label->option()->setText(optionText(title));
        }
    }
}

void SettingsController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    reload();
}

void SettingsController::activated(QListWidgetItem *item, bool fromKeyboard)
{
    const QVariant tag = item ? item->data(kTagRole) : QVariant();
    if (!tag.isValid())
        return;
    auto *sw = qobject_cast<SwitchCell *>(m_table->itemWidget(item));
    if (sw && fromKeyboard)
        sw->switchButton()->click();
    if (sw)
        m_table->clearSelection();
    else
        didSelectRow(tag.toInt() / 10, tag.toInt() % 10);
}

bool SettingsController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            activated(m_table->currentItem(), true);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
