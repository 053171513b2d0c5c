#pragma once

// Paints one row of a song list: the number at the left, the artist above the
// title in the middle, the length at the right. Rows are 40 px high. Reads the
// roles of PlaylistModel (IndexTextRole, TitleRole, ArtistRole, DurationRole,
// HighlightRole, FailedRole, NameRowRole); a highlighted row is painted orange,
// others light grey, and a row that failed to play is dimmed. The artist line is
// regular 15 px and the title bold 13 px, but in a NameRowRole row the artist is
// bold and the title regular.
//
// The frames follow the row's rectangle, which the view keeps inside its viewport:
// the length keeps its margin to the right edge however wide a scroll bar is, and
// the artist and title take the width left between number and length.
//
// Main thread only.

#include <QFont>
#include <QStyledItemDelegate>
#include <optional>

class CAPlaylistCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 40;

    enum class Field { Index, Artist, Title, Duration };

    // What a field of row shows: its frame (in row's coordinates), its font and
    // its text. Every text stays on one line (line breaks become spaces) and is cut
    // with "…" where it is too wide; the number first shrinks down to 8 px and the
    // length down to 11 px.
    struct Shown {
        QRect frame;
        QFont font;
        QString text;
    };
    // bold: the field's weight when given, else the song row's.
    static Shown shown(Field field, const QString& text, const QRect& row, const QFont& base,
                       std::optional<bool> bold = std::nullopt);
    // Whether field is drawn bold in the row of index.
    static bool isBold(Field field, const QModelIndex& index);

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Draws text in color over its black shadow one pixel below, as every row
    // label is drawn.
    static void drawShadowedText(QPainter *painter, const QRect& frame, int flags,
                                 const QString& text, const QColor& color);

    // Orange for the current item, light grey for the others; at 40 % alpha for
    // an item that failed to play.
    static QColor textColor(bool highlighted, bool failed = false);
};
