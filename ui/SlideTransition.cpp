#include "ui/SlideTransition.h"

#include <QEasingCurve>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

namespace {
bool g_animationsEnabled = true; // main thread only
} // namespace

bool SlideTransition::animationsEnabled()
{
    return g_animationsEnabled;
}

void SlideTransition::setAnimationsEnabled(bool enabled)
{
    g_animationsEnabled = enabled;
}

SlideTransition *SlideTransition::start(QObject *owner, const QList<Move>& moves, int durationMs,
                                        std::function<void()> done)
{
    if (!g_animationsEnabled || durationMs <= 0) {
        for (const Move& move : moves) {
            if (move.widget)
                move.widget->move(move.to);
        }
        if (done)
            done();
        return nullptr;
    }
    return new SlideTransition(owner, moves, durationMs, std::move(done));
}

SlideTransition::SlideTransition(QObject *owner, const QList<Move>& moves, int durationMs,
                                 std::function<void()> done)
    : QObject(owner), m_moves(moves), m_done(std::move(done))
{
    m_group = new QParallelAnimationGroup(this);
    for (const Move& move : m_moves) {
        if (!move.widget)
            continue;
        move.widget->move(move.from);
        auto *animation = new QPropertyAnimation(move.widget, "pos", m_group);
        animation->setStartValue(move.from);
        animation->setEndValue(move.to);
        animation->setDuration(durationMs);
        animation->setEasingCurve(QEasingCurve::InOutCubic);
        m_group->addAnimation(animation);
    }
    connect(m_group, &QAbstractAnimation::finished, this, &SlideTransition::finish);
    m_group->start();
}

void SlideTransition::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    disconnect(m_group, nullptr, this, nullptr);
    m_group->stop();
    for (const Move& move : m_moves) {
        if (move.widget)
            move.widget->move(move.to);
    }
    deleteLater();
    if (m_done) {
        // The completion may start a new transition or delete the owner.
        auto done = std::move(m_done);
        m_done = nullptr;
        done();
    }
}
