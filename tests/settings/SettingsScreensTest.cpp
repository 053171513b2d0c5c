// The settings screen and its editors, driven as a user drives them: what is
// checked is the row texts, the engine's values, what is heard and what is stored.
#include "app/MainViewController.h"
#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "audio/EQPresets.h"
#include "audio/EqualiserNode.h"
#include "audio/OfflineAudioOutput.h"
#include "services/SettingsHelper.h"
#include "services/SettingsKeys.h"
#include "settings/EQList.h"
#include "settings/SettingsController.h"
#include "settings/SettingsLabelCell.h"
#include "settings/SliderView.h"
#include "settings/SwitchCell.h"
#include "support/EngineTestSupport.h"
#include "support/TestEnvironment.h"
#include "ui/AboutController.h"
#include "ui/NavigationController.h"
#include "ui/ScreenStack.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace SettingsKeys;

namespace {

QString wavPath()
{
    return TestEnvironment::writeFile(
        TestEnvironment::home() + u"/tone.wav"_s,
        EngineTest::wavBytes(EngineTest::tone(60, 0.25, 48000, 48000 * 4), 48000, 1));
}

// A prepared engine on an offline 48 kHz output that the test pulls by hand, and
// its effects as the owner of the engines offers them to the screens.
struct Engine : EffectsControl {
    Engine()
        : player(wavPath(), [this] {
              auto out = std::make_unique<OfflineAudioOutput>(48000);
              out->setCapture(true);
              output = out.get();
              return out;
          })
    {
        player.prepareToPlay();
    }
    // Amplitude of the 60 Hz tone over the next 0.25 s (its first 50 ms let the
    // filters settle).
    double level()
    {
        output->takeCaptured();
        output->pull(12000);
        const std::vector<float> left = EngineTest::channel(output->takeCaptured(), 0);
        return EngineTest::toneAmplitude(left, 60, 48000, 2400, left.size());
    }
    std::optional<EffectSettings> engineEffects() const override
    {
        return EffectSettings{player.EQPressetId(), player.playbackRate(), player.volumeLimit(),
                              player.replayGainMode(), player.keepPitch()};
    }
    QStringList eqPresetNames() const override { return player.EQPressets(); }
    void setEQPreset(int32_t index) override { player.pressetId(index); }
    void setPlaybackRate(float value) override { player.playbackRate(value); }
    void setVolumeLimit(float value) override { player.volumeLimit(value); }
    void setReplayGain(ReplayGain::Mode mode) override { player.replayGain(mode); }
    void setKeepPitch(bool on) override { player.keepPitch(on); }

    OfflineAudioOutput *output = nullptr;
    CAPlayer player;
};

QString option(const SettingsController& screen, int section, int row)
{
    auto *cell = qobject_cast<SettingsLabelCell *>(screen.cell(section, row));
    return cell ? cell->option()->text() : u"<no cell>"_s;
}

// A screen inside a shown navigation controller.
template <class Screen> struct Shown {
    template <class... Args> explicit Shown(Args&&...args) : nav(new Screen(args...))
    {
        nav.show();
    }
    Screen *screen() const { return static_cast<Screen *>(nav.rootScreen()); }
    NavigationController nav;
};

} // namespace

// "Settings" on the player's bar presents the settings screen: sections in their
// fixed order, each option text from the player's engine of the moment (the stored
// values before a track is played). Switches store at once; the first "Home Folder"
// also stores ActiveBookmark -1, so the "Bookmarks" row stays empty until a bookmark
// is chosen, and a bookmark of the root shows "/". Return flips a switch row. F1
// presents the About screen.
TEST(SettingsController, PlayerPresentsItWithTheRowsOfItsEngine)
{
    SettingsHelper::setSettings(Bookmarks, QStringList{u"/a/x"_s, u"/b/"_s, u"/"_s});
    SettingsHelper::setSettings(EQ, 2);
    SettingsHelper::setSettings(VolumeLimit, 0.5);
    SettingsHelper::setSettings(PlaybackRate, 1.5);
    Transport transport;
    transport.setEngineFactory([](const QString& path) {
        return std::make_unique<CAPlayer>(path,
                                          [] { return std::make_unique<OfflineAudioOutput>(); });
    });
    ScreenStack stack;
    auto *player = new MainViewController(transport);
    stack.setRootScreen(player);
    stack.show();
    player->barButtonPressed(u"Settings"_s);
    stack.finishAnimations();
    auto *screen = qobject_cast<SettingsController *>(stack.topController()->rootScreen());
    ASSERT_NE(screen, nullptr);
    QStringList rows;
    for (int i = 0; i < screen->table()->count(); ++i) {
        QListWidgetItem *item = screen->table()->item(i);
        auto *header = qobject_cast<QLabel *>(screen->table()->itemWidget(item));
        rows.append(header ? header->text() : item->data(Qt::AccessibleTextRole).toString());
    }
    EXPECT_EQ(rows.join(u'|'),
              u"   Music|Shake To Shuffle|EQ|Volume Limit|Playback Rate|Keep Pitch|"
              u"ReplayGain|Resume Playback|   File Manager|Home Folder|Bookmarks"_s);
    const auto options = [screen] {
        screen->reload();
        return QStringList{option(*screen, 0, 1), option(*screen, 0, 2), option(*screen, 0, 3),
                           option(*screen, 1, 1)}
            .join(u'|');
    };
    EXPECT_EQ(options(), EQPresets::name(2) + u"|50 %|x 1.5|"_s) << "no track played";
    EXPECT_EQ(option(*screen, 0, 5), u"Off"_s) << "a store from before the setting";

    bool added = false;
    transport.addCollectionWithItems({wavPath()}, false, [&] { added = true; });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return added; }));
    transport.loadPlayerWithPath(0);
    ASSERT_NE(transport.player(), nullptr);
    transport.setEQPreset(EQPresets::indexOf(u"Rock"_s));
    for (auto [volume, rate, expected] : {std::tuple{1.0f, 0.5f, "Rock|Off|x 0.5|"},
                                          {0.5f, 2.0f, "Rock|50 %|x 2.0|"},
                                          {0.999f, 1.5f, "Rock|100 %|x 1.5|"}}) {
        transport.setVolumeLimit(volume);
        transport.setPlaybackRate(rate);
        EXPECT_EQ(options(), QString::fromUtf8(expected));
    }
    auto *keepPitch = qobject_cast<SwitchCell *>(screen->cell(0, 4));
    ASSERT_NE(keepPitch, nullptr);
    EXPECT_FALSE(keepPitch->isOn()) << "a settings file without it: off";
    keepPitch->switchButton()->click();
    EXPECT_EQ(SettingsHelper::settingsDict().value(KeepPitch), true);
    EXPECT_TRUE(transport.player()->keepPitch()) << "heard at once";

    // ReplayGain steps Off, Track, Album, Off: shown, stored and heard at once.
    screen->table()->setCurrentRow(6);
    for (auto [text, mode] : {std::pair{"Track", ReplayGain::Mode::Track},
                              {"Album", ReplayGain::Mode::Album},
                              {"Off", ReplayGain::Mode::Off}}) {
        QTest::keyClick(screen->table(), Qt::Key_Return);
        EXPECT_EQ(option(*screen, 0, 5), QString::fromUtf8(text));
        EXPECT_EQ(SettingsHelper::settingsDict().value(SettingsKeys::ReplayGain), int(mode));
        EXPECT_EQ(transport.player()->replayGainMode(), mode);
    }
    EXPECT_EQ(stack.topController()->depth(), 1) << "no editor opens";

    auto *home = qobject_cast<SwitchCell *>(screen->cell(1, 0));
    ASSERT_NE(home, nullptr);
    home->switchButton()->click();
    EXPECT_EQ(SettingsHelper::settingsDict().value(HomeFolder), true);
    EXPECT_EQ(SettingsHelper::settingsDict().value(ActiveBookmark), -1);
    SettingsHelper::setSettings(ActiveBookmark, 1);
    home->switchButton()->click();
    home->switchButton()->click();
    EXPECT_EQ(SettingsHelper::settingsDict().value(ActiveBookmark), 1) << "chosen one kept";
    EXPECT_EQ(option(*screen, 1, 1), u"b"_s);
    SettingsHelper::setSettings(ActiveBookmark, 2);
    EXPECT_EQ(screen->optionText(u"Bookmarks"_s), u"/"_s);
    screen->table()->setCurrentRow(1);
    QTest::keyClick(screen->table(), Qt::Key_Return);
    EXPECT_TRUE(SettingsHelper::getSwitchStateForSettingWithName(u"ShakeToShuffle"_s));
    EXPECT_EQ(stack.topController()->depth(), 1);

    screen->close();
    stack.finishAnimations();
    QTest::keyClick(player, Qt::Key_F1);
    ASSERT_NE(stack.topController(), nullptr);
    EXPECT_NE(qobject_cast<AboutController *>(stack.topController()->rootScreen()), nullptr);
}

// Leaving the list stores the marked preset: the stored one without an engine (0 when
// none), the engine's without a tap, the tapped one, which is heard before leaving.
TEST(EQList, ATapIsHeardAtOnceAndStoredOnLeaving)
{
    for (const int stored : {-1, 5}) {
        if (stored >= 0)
            SettingsHelper::setSettings(EQ, stored);
        Shown<EQList> shown(nullptr);
        EXPECT_EQ(shown.screen()->table()->count(), 0);
        shown.nav.hide();
        EXPECT_EQ(SettingsHelper::settingsDict().value(EQ), std::max(stored, 0));
    }

    Engine engine;
    engine.player.play();
    engine.player.pressetId(3);
    for (const int tap : {-1, EQPresets::indexOf(u"Bass Booster"_s)}) {
        Shown<SettingsController> shown(&engine);
        NavigationController& nav = shown.nav;
        shown.screen()->didSelectRow(0, 1);
        nav.finishAnimation();
        auto *list = qobject_cast<EQList *>(nav.topScreen());
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->eqPressets(), EQPresets::names());
        const double before = engine.level();
        if (tap >= 0)
            QTest::mouseClick(list->table()->viewport(), Qt::LeftButton, {},
                              list->table()->visualItemRect(list->table()->item(tap)).center());
        const int marked = tap >= 0 ? tap : 3;
        EXPECT_EQ(engine.player.EQPressetId(), marked);
        if (tap >= 0) {
            const auto db = [](int preset) {
                return EqualiserNode::responseDb(
                    EqualiserNode::design(EQPresets::gains(preset), 48000), 60, 48000);
            };
            EXPECT_NEAR(20 * std::log10(engine.level() / before), db(tap) - db(3), 0.1)
                << "heard before leaving";
        }
        nav.pop();
        nav.finishAnimation();
        EXPECT_EQ(SettingsHelper::settingsDict().value(EQ), marked);
        EXPECT_EQ(option(*shown.screen(), 0, 1), EQPresets::name(marked));
    }
}

// Each slider keeps to its range, is heard at each move and stored on leaving; the
// volume label truncates. Without an engine it opens at the stored value (or 1.0).
TEST(SliderView, MovesStayInRangeAndAreStoredOnLeaving)
{
    const struct {
        const char *title;
        QString key;
        const char *atEnd, *atHome, *at999;
        float home;
    } cases[] = {{"Playback Rate", PlaybackRate, "x 2.0", "x 0.5", "x 1.0", 0.5f},
                 {"Volume Limit", VolumeLimit, "100 %", "0 %", "99 %", 0.0f}};
    Engine engine;
    for (const auto& c : cases) {
        const QString title = QString::fromLatin1(c.title);
        Shown<SliderView> idle(nullptr, title);
        EXPECT_EQ(idle.screen()->value(), 1.0f) << c.title << ": nothing stored, no engine";
        idle.nav.hide();
        EXPECT_EQ(SettingsHelper::settingsDict().value(c.key), 1.0f);

        Shown<SliderView> shown(&engine, title);
        SliderView& view = *shown.screen();
        const auto engineValue = [&] {
            return view.isRate() ? engine.player.playbackRate() : engine.player.volumeLimit();
        };
        EXPECT_EQ(view.value(), 1.0f) << "as the engine plays, never set or not";
        QTest::keyClick(view.slider(), Qt::Key_End);
        EXPECT_EQ(view.textLabel()->text(), QLatin1String(c.atEnd));
        EXPECT_EQ(engineValue(), view.isRate() ? 2.0f : 1.0f);
        QTest::keyClick(view.slider(), Qt::Key_Home);
        EXPECT_EQ(view.textLabel()->text(), QLatin1String(c.atHome));
        EXPECT_EQ(engineValue(), c.home);
        view.slider()->setValue(999);
        EXPECT_EQ(view.textLabel()->text(), QLatin1String(c.at999));
        view.slider()->setValue(290);
        EXPECT_EQ(view.textLabel()->text(), view.isRate() ? u"x 0.5"_s : u"29 %"_s);
        view.defaultButton()->click();
        EXPECT_EQ(engineValue(), 1.0f);
        view.slider()->setValue(750);
        EXPECT_EQ(engineValue(), view.value());
        shown.nav.hide();
        EXPECT_EQ(SettingsHelper::settingsDict().value(c.key), view.value());

        Shown<SliderView> again(nullptr, title);
        EXPECT_EQ(again.screen()->value(), view.value()) << "opens at the stored value";
    }
}
