#pragma once

// Everything the program shows in a message box, and opening documents with the user's
// default program, goes through this one seam so that tests can answer and record it.

#include <QPoint>
#include <QString>
#include <QStringList>
#include <string>
#include <utility>

#include "core/QuillError.h"

class QWidget;

class MessageSeam {
public:
    virtual ~MessageSeam() = default;
    // Texts come as the program holds them ("\r" breaks a line); the boxes show them.
    // A question titled "Warning" with "&Yes" and "&No", its top-left corner at `topLeft`.
    // Enter answers Yes, Escape No, and closing the box counts as Yes.
    virtual bool Ask(const QString& text, QPoint topLeft) = 0;
    // A warning titled "Warning" with one "OK", centred on the screen.
    virtual void Warn(const QString& text) = 0;
    // The stop box titled "Quillmere" reporting an error that ended a handler.
    virtual void ShowError(const QString& text) = 0;
    // A list to read and copy from (items the copy passed over, problems the check found):
    // `intro` above the lines, which can be selected, and one button to close it. Closed, it
    // gives the input back to `owner`, the window that showed it.
    virtual void ShowList(const QString& title, const QString& intro, const QStringList& lines,
                          QWidget* owner) = 0;
    // A document, web address or mailto: address, opened with the default program.
    virtual void OpenWithDefaultProgram(const QString& target) = 0;
    // How a long task ended, told where a user busy elsewhere sees it: the taskbar button of
    // `window` flashes (Windows; an urgent window on X11), and on Linux the desktop's
    // notification service shows `text`. Nothing is shown where there is neither.
    virtual void Notify(const QString& text, QWidget* window) = 0;
};

// The seam in use; the real message boxes unless a test installed its own.
MessageSeam& Messages();
// Installs `seam` (not owned); nullptr restores the real message boxes.
void SetMessages(MessageSeam* seam);

// Core text (UTF-8 or the file system's bytes) for display.
QString ToQ(const std::string& s);
// The program's texts mark a line break with a carriage return alone, which Qt does not
// break on; labels and message boxes show them with "\n" instead.
QString DisplayText(const QString& text);
QString DisplayText(const std::string& text);
// The error report's text: the message, with "." added when it does not end in one.
QString ErrorReportText(const QString& message);

// Runs one event handler. An error it raises ends it and is reported in the stop box; the
// program goes on. Returns true when the handler ran to its end.
template <class Handler>
bool Guard(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const FunSub::QuillError& e) {
        Messages().ShowError(ErrorReportText(ToQ(e.what())));
    } catch (const std::bad_alloc&) {
        Messages().ShowError(ErrorReportText(QStringLiteral("Out of memory")));
    } catch (const std::exception& e) {
        Messages().ShowError(ErrorReportText(ToQ(e.what())));
    }
    return false;
}
