#pragma once

// What the navigation bar shows while a screen is on top of its navigation
// controller: a title (or a title widget in its place), a left and a right bar
// button, and the title that screens pushed above this one give their back button.
//
// The item lives on the screen itself (a child object, made on first use by of()),
// so a screen can set it up in its constructor, before any navigation controller
// holds it. The item owns the widgets handed to it: while its screen is not on top
// they are hidden children of the screen; the bar borrows them while it shows the
// item. A widget that is replaced is deleted (later, so a button may replace
// itself from its own click).
//
// Main thread only.

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class NavigationItem : public QObject {
    Q_OBJECT
public:
    // The item of screen, made on first use. screen must not be null.
    static NavigationItem *of(QWidget *screen);
    // The item of screen if one was made, else null.
    static NavigationItem *find(const QWidget *screen);

    ~NavigationItem() override;

    QWidget *screen() const;

    QString title() const { return m_title; }
    void setTitle(const QString& title);

    // Shown centred in place of the title. Null removes it.
    QWidget *titleWidget() const { return m_titleWidget; }
    void setTitleWidget(QWidget *widget);
    // The size the title widget asks for: its size when it is handed over, if it
    // was resized, else its size hint. The bar may give it less room for a while
    // (while it is narrow) and the full size again once it has the room.
    QSize titleWidgetSize() const { return m_titleSize; }

    // The left button replaces the back button.
    QAbstractButton *leftButton() const { return m_left; }
    void setLeftButton(QAbstractButton *button);
    QAbstractButton *rightButton() const { return m_right; }
    void setRightButton(QAbstractButton *button);

    // The back button's text on screens pushed above this one: the title given
    // here, else this item's title, else "Back".
    QString backButtonTitle() const;
    void setBackButtonTitle(const QString& title);

    // Gives the widgets back to the screen, hidden. Called by the bar when it stops
    // showing the item.
    void reclaimWidgets();

Q_SIGNALS:
    void changed();

private:
    explicit NavigationItem(QWidget *screen);
    void adopt(QWidget *old, QWidget *widget);

    QString m_title;
    QString m_backTitle;
    QPointer<QWidget> m_titleWidget;
    QSize m_titleSize;
    QPointer<QAbstractButton> m_left;
    QPointer<QAbstractButton> m_right;
};
