#pragma once

#include <functional>
#include <string>

#include "core/DirTree.h"
#include "core/Platform.h"
#include "core/TreeStats.h"
#include "ui/ChainWindow.h"

// The two sides of the main window: the source on the left, the targets on the right.
enum class Side { Source, Target };

// What the dialogs need of the main window, which opens them and to which they give control
// back: the source they work on, what became of its copy, the target on show, and where to
// show a directory. The dialogs know the main window by this alone.
class MainWindowPort : public ChainWindow {
public:
    using ChainWindow::ChainWindow;

    // The source tree that the statistics and the copy walk, by index.
    virtual const FunSub::DirTree& SourceTree() const = 0;
    // The statistics of that tree, as the source side shows them.
    virtual const FunSub::TreeStats& SourceStats() const = 0;
    // The files of each source directory, by node index, as the statistics read them.
    virtual const std::vector<std::vector<Platform::Entry>>& SourceFiles() const = 0;
    // A copy of the source on show has been made (or begun): its target's name is taken, so
    // "过滤复制" waits until the source is chosen again.
    virtual void SourceCopied() = 0;
    // Drops the target name and disables "过滤复制" until a source is built with a fresh
    // one: at each rebuild, and when a copy found the name taken (the source dialog then
    // takes the same source again).
    virtual void DropTargetName() = 0;
    // Shows `path` as the chosen source until the next activation builds the source side.
    virtual void ShowChosenSource(const std::string& path) = 0;
    // The full path of the target on show; empty when there is none.
    virtual std::string ShownTarget() const = 0;
    // Shows the directory `relativeDir` below `root` (the source, or one of the targets) in the
    // tree of that side, as a click on its node does, with its files on show. A directory the
    // tree does not hold shows its nearest ancestor that it does.
    virtual void ShowDirectory(Side side, const std::string& root,
                               const std::string& relativeDir) = 0;
    // Greys on the map of the source each file for which `passes` is false; an empty function
    // greys none.
    virtual void ShowFilterOnMap(
        std::function<bool(int node, const Platform::Entry& file)> passes) = 0;
};

// The main window, once start-up has made it.
MainWindowPort* MainWindow();
