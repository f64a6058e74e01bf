#pragma once

// The windows hand control to each other in a chain in which exactly one window takes
// input: the one that opens a dialog disables itself, and the dialog, when done, hides
// itself, enables its opener and shows it again. The chain itself runs the activation
// handler of the window it hands control to, so switching programs or closing a message
// box never refreshes a window.

#include <QWidget>

// A fixed-size dialog whose title bar holds only the close box.
inline constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                     Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                     Qt::WindowCloseButtonHint;

class ChainWindow : public QWidget {
    Q_OBJECT
public:
    // Every window writes in 宋体 9 points where the system has it; else on Windows in a
    // Chinese font it has, elsewhere in the system's own font, which covers Chinese there.
    explicit ChainWindow(Qt::WindowFlags flags = Qt::Window);

    // Shows the window (centred the first time when it places itself that way; sized to
    // its contents then unless it was given a size), raises it and runs FormActivate
    // inside the error guard.
    void ShowAndActivate();

    // Runs whenever the chain hands control to this window.
    virtual void FormActivate() {}
    // The close box; a dialog does what its cancel button does.
    virtual void FormClose() {}

    int Left() const { return frameGeometry().left(); }
    int Top() const { return frameGeometry().top(); }

protected:
    enum class FirstPlacement { None, CentreOnScreen, CentreOnDesktop };
    void SetFirstPlacement(FirstPlacement p) { m_firstPlacement = p; }
    // Places the window's top-left corner at (left, top) in screen coordinates.
    void PlaceAt(int left, int top);

    void closeEvent(QCloseEvent* event) override;
    // Return and Enter press the push button that has the focus, as Space does. No button
    // is a default that Enter would press from elsewhere in the window. Escape does what the
    // close box does where the window says so.
    void keyPressEvent(QKeyEvent* event) override;
    virtual bool EscapeCloses() const { return false; }

private:
    FirstPlacement m_firstPlacement = FirstPlacement::None;
    bool m_shownBefore = false;
};

// Gives a label, a button or a box its text colour.
void SetTextColour(QWidget* w, const QColor& colour);

class QAbstractScrollArea;
// A list or a tree shows the focus on its current item, which an empty one lacks: with the
// focus, its frame carries the style's focus mark as well.
void ShowFocusOnFrame(QAbstractScrollArea* area);

// Hands control from `owner` to `dialog`: disables the owner, shows and activates the dialog.
void OpenDialog(ChainWindow* owner, ChainWindow* dialog);
// Passes control from one dialog to the next, the opener staying disabled: hides `from`,
// shows and activates `to`.
void HandOver(ChainWindow* from, ChainWindow* to);
// Gives control back: hides `dialog`, enables `owner`, shows and activates it.
void ReturnTo(ChainWindow* dialog, ChainWindow* owner);
