#pragma once

// The program's look in one place: the palette by role, the font sizes, and the
// style-sheet rules that several screens share. Screens build their style sheets
// and painted colours from these names. The alert and action-sheet windows of
// platform/ lie below this layer and keep their own look; colours that a
// component's contract fixes (GradientButton's shine, PopupView's outline) stay
// with the component.
//
// Colours are given as #rrggbb (alpha 0..255 where it is not opaque). Some roles
// hold shades that differ by a step from a neighbour (kAccent and kDetailsAccent,
// the row greys): each screen keeps exactly the shade it has always drawn.
//
// Font sizes are in pixels (QFont::setPixelSize, "font-size: Npx").
//
// The colours and sizes are constants usable from any thread; the functions that
// build style-sheet text or fonts are main thread only, like the widgets that use
// them.

#include <QColor>
#include <QFont>
#include <QString>

namespace Theme {

// Accents.
inline constexpr QColor kAccent{0xff, 0x7f, 0x00};         // focus ring, current item, marks
inline constexpr QColor kDetailsAccent{0xff, 0x80, 0x00};  // playlist details: title, separators
inline constexpr QColor kMenuSeparator{0xff, 0xa5, 0x00};  // rows of the About and playlists lists
inline constexpr QColor kAccentFill{0xff, 0x7f, 0x00, 70}; // over a chosen folder row
inline constexpr QColor kAccentRule{0xff, 0x7f, 0x00, 90}; // under each song row
inline constexpr QColor kBookmarkMark{0xff, 0xa0, 0x28};   // the check of the active bookmark
// Where orange already marks the content (a checked segment, orange separators)
// the focus ring is blue.
inline constexpr QColor kFocusOnAccent{0x4a, 0x90, 0xe2};
inline constexpr QColor kTint{0x3e, 0x7e, 0xe0};     // switch on, selected setting, info button
inline constexpr QColor kTintEdge{0x2a, 0x5d, 0xb0}; // border of a switch that is on
inline constexpr QColor kDestructive{0xc0, 0x39, 0x2b};

// Backgrounds, darkest first.
inline constexpr QColor kBlack{0x00, 0x00, 0x00};
inline constexpr QColor kWindow{0x0c, 0x0c, 0x0e};  // the player screen
inline constexpr QColor kPanel{0x10, 0x10, 0x14};   // song lists on dark screens
inline constexpr QColor kGrouped{0x1b, 0x1b, 0x1b}; // behind grouped tables and boxes
inline constexpr QColor kToolbar{0x20, 0x20, 0x24}; // tool bars, the player's bottom bar
inline constexpr QColor kSegment{0x2a, 0x2a, 0x30};
inline constexpr QColor kSegmentEdge{0x55, 0x55, 0x5c};
inline constexpr QColor kSliderFocus{0x2a, 0x2a, 0x2e}; // a focused slider of the slider editor
inline constexpr QColor kPlainButton{0x33, 0x33, 0x33};
inline constexpr QColor kToolbarButton{0x3a, 0x3a, 0x40}; // also the rule above a tool bar
inline constexpr QColor kLightButton{0xe4, 0xe4, 0xe4};
inline constexpr QColor kCell{0xf4, 0xf4, 0xf4};               // light rows and pages
inline constexpr QColor kField{0xff, 0xff, 0xff};              // text fields
inline constexpr QColor kSelectedCell{0xdd, 0xe6, 0xf4};       // a chosen light row
inline constexpr QColor kSelectionFill{0xff, 0xff, 0xff, 40};  // over a chosen dark row
inline constexpr QColor kSectionHeader{0x00, 0x00, 0x00, 204}; // the browser's path header
inline constexpr QColor kNoticeFill{0x00, 0x00, 0x00, 210};    // behind a notice

// Text.
inline constexpr QColor kText{0xff, 0xff, 0xff};
inline constexpr QColor kRowText{0xe6, 0xe6, 0xe6}; // rows and figures on black
inline constexpr QColor kBookmarkText{0xeb, 0xeb, 0xeb};
inline constexpr QColor kChooserText{0xd3, 0xd3, 0xd3};
inline constexpr QColor kSecondaryText{0xd0, 0xd0, 0xd0};
inline constexpr QColor kDisabledText{0x80, 0x80, 0x80};
inline constexpr QColor kSwitchOffText{0x7a, 0x7a, 0x7a};
inline constexpr QColor kSwitchOffEdge{0x9a, 0x9a, 0x9a};
inline constexpr QColor kOptionText{0x38, 0x54, 0x87}; // a setting's value on a light row
inline constexpr QColor kDarkText{0x00, 0x00, 0x00};

// Separators.
inline constexpr QColor kLightSeparator{0xff, 0xff, 0xff};
inline constexpr QColor kFaintSeparator{0xff, 0xff, 0xff, 60};
inline constexpr QColor kGreySeparator{0xc8, 0xc8, 0xc8};

// The navigation bar and its buttons.
inline constexpr QColor kBarButtonEdge{0x05, 0x05, 0x05};
inline constexpr QColor kBarButtonPressed{0x11, 0x11, 0x11};
inline constexpr QColor kDoneButtonPressed{0x1a, 0x3f, 0x80};
inline constexpr QColor kBarTopLine{0x5c, 0x5c, 0x5c};

// A glossy vertical gradient: top to middle, then a jump, then middle to bottom.
struct Gloss {
    QColor top, upperMiddle, lowerMiddle, bottom;
};
inline constexpr Gloss kNavigationBarGloss{
    {0x3e, 0x3e, 0x3e}, {0x1f, 0x1f, 0x1f}, {0x0d, 0x0d, 0x0d}, {0x00, 0x00, 0x00}};
inline constexpr Gloss kBarButtonGloss{
    {0x6a, 0x6a, 0x6a}, {0x40, 0x40, 0x40}, {0x2c, 0x2c, 0x2c}, {0x1a, 0x1a, 0x1a}};
inline constexpr Gloss kDoneButtonGloss{
    {0x7a, 0xa7, 0xe6}, {0x3d, 0x74, 0xcf}, {0x2a, 0x5f, 0xbd}, {0x1f, 0x4f, 0xa3}};
inline constexpr Gloss kToolbarGloss{
    {0x5a, 0x5a, 0x5a}, {0x2e, 0x2e, 0x2e}, {0x1c, 0x1c, 0x1c}, {0x0a, 0x0a, 0x0a}};

// Two-colour vertical gradients of the player's panels and the search bar.
struct Fade {
    QColor top, bottom;
};
inline constexpr Fade kControlPanelFade{{0x3a, 0x3a, 0x40}, kWindow};
inline constexpr Fade kListHandleFade{{0x4a, 0x4a, 0x52}, {0x1c, 0x1c, 0x20}};
inline constexpr Fade kSearchBarFade{{0x4a, 0x4a, 0x4a}, {0x15, 0x15, 0x15}};

// Font sizes, pixels.
inline constexpr int kButtonPx = 12;    // bar, tool-bar and menu buttons
inline constexpr int kCaptionPx = 13;   // titles in the bar's title view, notes
inline constexpr int kBodyPx = 14;      // pages, the search field, the path header
inline constexpr int kRowPx = 15;       // rows of every list
inline constexpr int kSongTitlePx = 16; // the player's song name
inline constexpr int kTitlePx = 18;     // the navigation bar's title, section headings
inline constexpr int kSectionPx = 20;   // the settings screen's section headers
inline constexpr int kFigurePx = 22;    // the slider editor's value

// A colour as style-sheet text: "#rrggbb", or "rgba(r, g, b, a)" when translucent.
QString css(const QColor& color);
// "qlineargradient(...)" from top to bottom; a Gloss jumps at half height.
QString css(const Gloss& gloss);
QString css(const Fade& fade);

// "font-size: Npx;", with "font-weight: bold;" before it when bold.
QString fontRule(int px, bool bold = false);
// base at px pixels, bold or not.
QFont font(QFont base, int px, bool bold);

// The keyboard focus ring of selector: "<selector>:focus { border: ... }".
QString focusRing(const QString& selector, int width, const QColor& color = kAccent);

// A button that shows only its icon, with a 1 px focus ring.
QString flatIconButton();

// The player's position and volume sliders: the track images, the thumb, and a
// 1 px focus ring around the whole control.
QString trackSlider();

// A list widget of rows on black: light grey row text at kRowPx, bold or not;
// extra goes into the same rule.
QString darkList(bool bold, const QString& extra = {});
// List-widget rows at least kRowHeight tall with a 1 px separator along their
// bottom; extra goes into the same rule (a padding, for one).
QString separatedRows(const QColor& separator, const QString& extra = {});
inline constexpr int kRowHeight = 44; // px

// A grouped table: light rows on kGrouped (plus background), headings that are
// disabled rows without a background, and a 2 px focus ring on the focused row.
// itemRule goes into the rows' own rule.
QString groupedList(const QString& itemRule, const QString& background = {});

// The red "Delete" button shown on a row in edit mode.
QString deleteButton(bool bold);

} // namespace Theme
