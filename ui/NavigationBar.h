#pragma once

// The black bar at the top of a navigation controller. It shows one
// NavigationItem: the left button (or, on a pushed screen, a back button titled
// after the screen below), the title text or title widget centred on the bar, and
// the right button. Widgets that a screen adds to the bar directly keep the
// geometry they are given; the bar lays out only the item's widgets.
//
// Bar buttons come in the styles of the bar: bordered (dark glossy), done (blue,
// the screen's main action) and plain (text only). Buttons are reached with Tab
// and show a ring while they have keyboard focus.
//
// Main thread only.

#include <QPointer>
#include <QWidget>
#include <functional>

class NavigationItem;
class QAbstractButton;
class QLabel;
class QPushButton;

class NavigationBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 44; // pixels

    enum class ButtonStyle { Plain, Bordered, Done };

    explicit NavigationBar(QWidget *parent = nullptr);
    ~NavigationBar() override;

    // A button in the bar's look. The caller owns it (usually by handing it to a
    // NavigationItem).
    static QPushButton *makeButton(const QString& text, ButtonStyle style = ButtonStyle::Bordered,
                                   QWidget *parent = nullptr);
    // The same, its clicks running action while context lives.
    static QPushButton *makeButton(const QString& text, ButtonStyle style, QObject *context,
                                   std::function<void()> action, QWidget *parent = nullptr);
    // The style rules of makeButton()'s buttons, for a container other than the
    // bar that holds them (a toolbar).
    static QString buttonStyleSheet();
    // Changes the look of a button made by makeButton() (e.g. "Edit" to "Done").
    static void setButtonStyle(QAbstractButton *button, ButtonStyle style);
    static ButtonStyle buttonStyle(const QAbstractButton *button);

    // Shows item; below is the item of the screen under it (null on the root
    // screen), which titles the back button when item has no left button. The bar
    // follows later changes of item until another item is set.
    void setItem(NavigationItem *item, NavigationItem *below);
    NavigationItem *item() const { return m_item; }

    // The title text shown (empty while a title widget is shown).
    QString titleText() const;
    // The back button; visible only on pushed screens without a left button.
    QPushButton *backButton() const { return m_back; }

    QSize sizeHint() const override;

Q_SIGNALS:
    // The back button was pressed.
    void backRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void layoutItem();

    QPointer<NavigationItem> m_item;
    QPointer<NavigationItem> m_below;
    QLabel *m_title = nullptr;     // owned (child)
    QPushButton *m_back = nullptr; // owned (child)
};
