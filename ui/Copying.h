#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

#include "core/CheckCopy.h"
#include "core/ContinueCopy.h"
#include "core/CopyRate.h"
#include "core/FilterCopy.h"
#include "ui/Background.h"
#include "ui/ChainWindow.h"

// What the copy, running on its worker thread, leaves for the window: the latest from- and
// to-texts and the number of steps. The window picks them up at screen rate, so a copy of
// many small files is not slowed down by repainting after each one.
class CopyRelay : public FunSub::CopyProgress {
public:
    struct Snapshot {
        std::int64_t max = 0;
        std::int64_t steps = 0;
        std::string fromText;  // empty until the first file is copied
        std::string toText;
        std::uint64_t textVersion = 0;
        std::int64_t files = 0;  // copied so far
        std::int64_t bytes = 0;
        bool syncing = false;    // everything is written and on its way to the disk
        bool verifying = false;  // the copy is read back: files and bytes count that
        std::int64_t verifyFiles = 0;
        std::int64_t verifyBytes = 0;
        std::int64_t copiedFiles = 0;  // what the copy itself did
        std::int64_t copiedBytes = 0;
    };

    void Reset();
    Snapshot Take() const;

    void SetMax(std::int64_t max) override;
    void SetStep(std::int64_t step) override;
    void StepIt() override;
    void SetFromText(const std::string& text) override;
    void SetToText(const std::string& text) override;
    void AddBytes(std::int64_t bytes) override;
    void FileCopied() override;
    void Syncing() override;
    void Verifying(std::int64_t files, std::int64_t bytes) override;

private:
    std::atomic<std::int64_t> m_max{0};
    std::atomic<std::int64_t> m_step{1};
    std::atomic<std::int64_t> m_steps{0};
    std::atomic<std::int64_t> m_files{0};
    std::atomic<std::int64_t> m_bytes{0};
    std::atomic<bool> m_syncing{false};
    mutable std::mutex m_textMutex;
    bool m_verifying = false;
    std::int64_t m_verifyFiles = 0;
    std::int64_t m_verifyBytes = 0;
    std::int64_t m_copiedFiles = 0;
    std::int64_t m_copiedBytes = 0;
    std::string m_fromText;
    std::string m_toText;
    std::uint64_t m_textVersion = 0;
};

// The copy progress dialog: where the copy comes from and goes to, what the check before it
// found, the start button, and the bar and labels that follow the copy, which "暂　　停"
// pauses and "放　　弃" stops.
class TForm7 : public ChainWindow {
    Q_OBJECT
public:
    TForm7();

    void FormActivate() override;
    void FormClose() override;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    // "暂　　停": the check or the copy rests where it is; "继　　续": it goes on from there.
    void Button4Click();

    // The next showing finishes the unfinished copy into the target `target` (a full path)
    // from the source and filter it recorded, instead of making a new target.
    void OfferContinue(const std::string& target);

    // True while a copy runs; then "放　　弃" and the close box stop it after the file in
    // progress, and nothing else takes input.
    bool Copying() const { return m_copying; }
    // How long a copy must have run for its end to be told through Messages().Notify when
    // the dialog is not the active window: 10 s, unless a test sets another.
    static void SetNoticeAfter(double seconds);

    QLabel* Label1 = nullptr;  // the from-text
    QLabel* Label2 = nullptr;  // the to-text
    // What the copy will do and how many problems will end it, or the first problem that
    // keeps it from starting.
    QLabel* Label3 = nullptr;
    QPushButton* Button3 = nullptr;  // lists every problem the check found
    QProgressBar* ProgressBar1 = nullptr;
    // Files and bytes done, the rate and the time left; once the copy is over, how it ended.
    QLabel* Label4 = nullptr;
    QPushButton* Button2 = nullptr;  // "过滤复制开始"
    QPushButton* Button1 = nullptr;  // "放　　弃", after a copy "返　　回"
    // "暂　　停" while the check or the copy runs, "继　　续" while it is paused.
    QPushButton* Button4 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool EscapeCloses() const override;

private:
    void createWidgets();
    void createLayout();
    void connectSignals();

    void RunCheck();
    void ShowCheck();
    // Starts the copy on its worker.
    void RunFilterCopy();
    // Back on the window's thread once the copy has ended: how it ended, and what it threw.
    void CopyEnded(const std::exception_ptr& failure);
    void ShowProgress();
    // The line under the bar once the copy is over says how it ended.
    void ShowEnd(FunSub::CopyEnd end);
    void ShowSkipped();
    void ShowMismatches();
    bool CopyStopped() const;
    // Continuing an unfinished target: its showing, its run on the worker, its end.
    void ShowContinueOffer();
    void RunContinue();
    void ContinueEnded(const std::exception_ptr& failure);
    // Asks the copy to stop; a paused one goes on to the end of the files in progress.
    void StopCopy();
    // Shows "暂　　停" while there is work to pause, and opens the gate when there is none.
    void ShowPauseButton(bool shown);
    // The check's line while it is paused, once its threads rest.
    void ShowCheckPaused();

    FunSub::CopyPlan m_plan;
    FunSub::CopySummary m_summary;
    FunSub::CopyRate m_rate;
    CopyRelay m_relay;
    QTimer m_pump;
    FunSub::RunningClock m_clock;  // the copy's time, pauses left out
    double m_verifyStart = 0;      // when the reading back began, on m_clock
    bool m_verifyShown = false;
    std::uint64_t m_shownTextVersion = 0;
    bool m_copying = false;
    std::string m_continueTarget;  // empty for a new copy
    FunSub::ContinueSummary m_continued;
    bool m_checking = false;
    // Where the check's and the copy's threads rest while paused; outlives both.
    FunSub::PauseGate m_gate;
    Background m_checker;
    // Declared last: its destruction stops the copy and waits for it before anything the
    // copy uses goes.
    Background m_copier{Background::Mode::Awaiting};
};

extern TForm7* Form7;

namespace CopyingText {
// "from: " + the source's path below WorkDir; the whole path when it does not lie below.
std::string FromText(const std::string& sourceDir, const std::string& workDir);
}  // namespace CopyingText
