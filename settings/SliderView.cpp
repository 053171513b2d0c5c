#include "settings/SliderView.h"

#include "audio/EffectsControl.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "services/EffectSettingsStore.h"
#include "ui/NavigationItem.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

SliderView::SliderView(EffectsControl *effects, const QString& title, QWidget *parent)
    : QWidget(parent), m_effects(effects), m_rate(title == QLatin1String("Playback Rate"))
{
    NavigationItem::of(this)->setTitle(title);
    using namespace Theme;
    setStyleSheet(
        QStringLiteral(
            "SliderView { background: %1; }"
            "QFrame#container { border: 1px solid %2; border-radius: 8px; background: %3; }"
            "QLabel { color: %4; %5 }"
            "QPushButton { background: %6; color: %7; border: 1px solid %7;"
            " border-radius: 8px; padding: 8px 20px; font-weight: bold; }")
            .arg(css(kBlack), css(kLightSeparator), css(kGrouped), css(kText),
                 fontRule(kFigurePx, true), css(kLightButton), css(kDarkText)) +
        focusRing(QStringLiteral("QPushButton"), 2) +
        QStringLiteral("QSlider:focus { background: %1; }").arg(css(kSliderFocus)));
    setAttribute(Qt::WA_StyledBackground);

    auto *container = new QFrame(this);
    container->setObjectName(QStringLiteral("container"));
    m_textLabel = new QLabel(container);
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_slider = new QSlider(Qt::Horizontal, container);
    m_slider->setAccessibleName(title);
    m_slider->setSingleStep(kScale / 100);
    m_slider->setPageStep(kScale / 10);
    if (m_rate)
        m_slider->setRange(int(EffectSettings::kMinPlaybackRate * kScale),
                           int(EffectSettings::kMaxPlaybackRate * kScale));
    else
        m_slider->setRange(int(EffectSettings::kMinVolumeLimit * kScale),
                           int(EffectSettings::kMaxVolumeLimit * kScale));
    auto *inner = new QVBoxLayout(container);
    inner->setContentsMargins(16, 12, 16, 16);
    inner->addWidget(m_textLabel);
    inner->addWidget(m_slider);

    m_defaultButton = new QPushButton(QStringLiteral("Default"), this);
    connect(m_defaultButton, &QPushButton::clicked, this, &SliderView::setDefault);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 30, 20, 20);
    layout->setSpacing(24);
    layout->addWidget(container);
    layout->addWidget(m_defaultButton, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    const std::optional<EffectSettings> engine =
        m_effects ? m_effects->engineEffects() : std::nullopt;
    const auto valueOf = [this](const EffectSettings& values) {
        return m_rate ? values.playbackRate : values.volumeLimit;
    };
    float initial = engine ? valueOf(*engine).value_or(0.0f) : 0.0f;
    if (!engine || (m_rate && initial == 0.0f))
        initial = valueOf(EffectSettingsStore::stored()).value_or(1.0f);
    m_slider->setValue(int(std::lround(initial * kScale)));
    m_textLabel->setText(labelText(m_rate, value()));
    connect(m_slider, &QSlider::valueChanged, this, &SliderView::changeValue);
    setFocusProxy(m_slider);
}

float SliderView::value() const
{
    return float(m_slider->value()) / kScale;
}

void SliderView::changeValue()
{
    apply(value());
    m_textLabel->setText(labelText(m_rate, value()));
}

void SliderView::setDefault()
{
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(kScale);
    apply(1.0f);
    m_textLabel->setText(labelText(m_rate, value()));
}

QString SliderView::labelText(bool rate, float value)
{
    if (rate)
        return QString::asprintf("x %.1f", double(value));
    // The small margin keeps a value like 0.29, which a float holds as
    // 0.2899999…, at 29 % while 0.999 still shows 99 %.
    return QStringLiteral("%1 %").arg(int(double(value) * 100 + 1e-4));
}

void SliderView::apply(float v)
{
    if (!m_effects)
        return;
    if (m_rate)
        m_effects->setPlaybackRate(v);
    else
        m_effects->setVolumeLimit(v);
}

void SliderView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    SettingsHelper::setSettings(m_rate ? SettingsKeys::PlaybackRate : SettingsKeys::VolumeLimit,
                                value());
}
