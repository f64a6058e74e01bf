#pragma once

// What every window test needs: a message seam that answers questions from a script and
// records everything shown, and a fixture that starts the windows as the program does,
// with work.ini beside a pretend executable in a fresh temporary directory.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QWidget>
#include <deque>
#include <optional>
#include <string>

#include "support/TempTree.h"
#include "ui/Messages.h"

class FakeMessages : public MessageSeam {
public:
    struct Shown {
        QString kind;  // "ask", "warn", "error", "list", "open" or "notify"
        QString text;
        QPoint topLeft;
    };

    // Answers for the next questions, in order; a question with none left answers Yes.
    std::deque<bool> answers;
    std::vector<Shown> shown;

    bool Ask(const QString& text, QPoint topLeft) override;
    void Warn(const QString& text) override;
    void ShowError(const QString& text) override;
    void ShowList(const QString& title, const QString& intro, const QStringList& lines,
                  QWidget* owner) override;
    void OpenWithDefaultProgram(const QString& target) override;
    void Notify(const QString& text, QWidget* window) override;

    QStringList texts(const QString& kind) const;
    int count(const QString& kind) const { return static_cast<int>(texts(kind).size()); }
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes work.ini beside the pretend executable (bytes as given).
    void WriteWorkIni(const std::string& content);
    // A work.ini naming these two directories, CR LF ended.
    void WriteWorkIni(const std::string& work, const std::string& output);
    // Creates the seven windows as start-up does; false when start-up refused to run.
    bool Start();
    // Start() and then show the main window, as the event loop's first showing does.
    void StartAndShow();

    std::string appDir() const { return m_tree.path("app"); }

    TempTree m_tree;
    FakeMessages m_messages;
};

// Lets the windows' work on other threads end and come back, as the event loop would.
void WaitForBackground();

// While it lives, every directory listing made off the window's thread waits until Release
// (or the end of its life), and the windows wait for none of their work: a test sees the
// window answer while its reading is held.
class HeldListings {
public:
    HeldListings();
    ~HeldListings();
    HeldListings(const HeldListings&) = delete;
    HeldListings& operator=(const HeldListings&) = delete;

    // True once a reading is held, waiting for it a few seconds at most.
    bool Holding() const;
    void Release();
};

// Saves `widget`'s picture as <name>.png in the screenshot directory (the build tree's
// screenshots/ under ctest), and returns false when nothing could be drawn.
bool SaveScreenshot(QWidget* widget, const QString& name);

// Moves the keyboard focus to `target` as the user does, with Tab in its window; false when
// Tab never gets there.
bool TabTo(QWidget* target);

// A click of the left mouse button at `at` in `widget`, as the window system delivers it.
void ClickAt(QWidget* widget, QPoint at);
// The same in the middle of `widget`.
void Click(QWidget* widget);
// A key pressed and let go in `widget`, as the keyboard delivers it.
void PressKey(QWidget* widget, int key);
// A double-click as the window system delivers it: a click, then a press that double-clicks.
void DoubleClickAt(QWidget* widget, QPoint at);

// A mouse click on the expander in front of a tree node, where the user opens or closes it.
// A click on the row's check box, where the user ticks it.
void ClickCheckBox(QTreeWidget* list, QTreeWidgetItem* item);
void ClickExpander(QTreeWidget* tree, QTreeWidgetItem* node);

// The current node's label, its icon and text, lies wholly in the visible part of the tree.
bool CurrentLabelInView(QTreeWidget* tree);
