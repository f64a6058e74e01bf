#include "ui/Copying.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <exception>
#include <memory>

#include "core/FunSub.h"
#include "core/Reasons.h"
#include "core/TreeFilter.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"

TForm7* Form7 = nullptr;

namespace {

constexpr int kPumpIntervalMs = 30;  // about the rate at which a screen can show changes
constexpr std::int64_t kMaxNotSet = -1;

QString ReadyCaption() {
    return QStringLiteral("准备过滤复制");
}
QString RunningCaption() {
    return QStringLiteral("正在过滤复制 …………");
}
QString DoneCaption() {
    return QStringLiteral("过滤复制完成 ！");
}
QString StoppedCaption() {
    return QStringLiteral("过滤复制已停止");
}
QString CancelText() {
    return QStringLiteral("放　　弃");
}
QString BackText() {
    return QStringLiteral("返　　回");
}
QString PauseText() {
    return QStringLiteral("暂　　停");
}
QString ResumeText() {
    return QStringLiteral("继　　续");
}
QString CheckingText() {
    return QStringLiteral("正在检查 …");
}

int ClampToInt(std::int64_t n) {
    return static_cast<int>(std::clamp<std::int64_t>(n, 0, INT_MAX));
}

// The dialog takes no input during a copy but goes on showing it: disabled widgets keep
// the colours of enabled ones.
void LookEnabledWhenDisabled(QWidget* w) {
    QPalette p = w->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        p.setColor(QPalette::Disabled, r, p.color(QPalette::Active, r));
    }
    w->setPalette(p);
}

}  // namespace

void CopyRelay::Reset() {
    m_max = kMaxNotSet;
    m_step = 1;
    m_steps = 0;
    m_files = 0;
    m_bytes = 0;
    m_syncing = false;
    const std::lock_guard lock(m_textMutex);
    m_verifying = false;
    m_fromText.clear();
    m_toText.clear();
    m_textVersion = 0;
}

CopyRelay::Snapshot CopyRelay::Take() const {
    Snapshot s;
    s.max = m_max.load();
    s.steps = m_steps.load();
    s.files = m_files.load();
    s.bytes = m_bytes.load();
    s.syncing = m_syncing.load();
    const std::lock_guard lock(m_textMutex);
    s.verifying = m_verifying;
    s.verifyFiles = m_verifyFiles;
    s.verifyBytes = m_verifyBytes;
    s.copiedFiles = m_verifying ? m_copiedFiles : s.files;
    s.copiedBytes = m_verifying ? m_copiedBytes : s.bytes;
    s.fromText = m_fromText;
    s.toText = m_toText;
    s.textVersion = m_textVersion;
    return s;
}

void CopyRelay::SetMax(std::int64_t max) {
    m_max = max;
}

void CopyRelay::SetStep(std::int64_t step) {
    m_step = step;
}

void CopyRelay::StepIt() {
    m_steps.fetch_add(m_step.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void CopyRelay::SetFromText(const std::string& text) {
    const std::lock_guard lock(m_textMutex);
    m_fromText = text;
    ++m_textVersion;
}

void CopyRelay::SetToText(const std::string& text) {
    const std::lock_guard lock(m_textMutex);
    m_toText = text;
    ++m_textVersion;
}

void CopyRelay::AddBytes(std::int64_t bytes) {
    m_bytes.fetch_add(bytes, std::memory_order_relaxed);
}

void CopyRelay::Syncing() {
    m_syncing = true;
}

void CopyRelay::Verifying(std::int64_t files, std::int64_t bytes) {
    const std::lock_guard lock(m_textMutex);
    m_copiedFiles = m_files.exchange(0);
    m_copiedBytes = m_bytes.exchange(0);
    m_verifyFiles = files;
    m_verifyBytes = bytes;
    m_verifying = true;
    m_syncing = false;
}

void CopyRelay::FileCopied() {
    m_files.fetch_add(1, std::memory_order_relaxed);
}

std::string CopyingText::FromText(const std::string& sourceDir, const std::string& workDir) {
    return "from: " + FunSub::PathShownFrom(workDir, sourceDir);
}

TForm7::TForm7() : ChainWindow(kFixedDialogFlags) {
    SetFirstPlacement(FirstPlacement::CentreOnDesktop);
    setWindowTitle(ReadyCaption());
    createWidgets();
    createLayout();
    connectSignals();
}

void TForm7::createWidgets() {
    Label1 = new QLabel(this);
    Label2 = new QLabel(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                       static_cast<QWidget*>(ProgressBar1)}) {
        LookEnabledWhenDisabled(w);
    }
    Label3 = new QLabel(this);
    Label4 = new QLabel(this);
    // A long path is cut at the dialog's edge instead of widening it.
    for (QLabel* label : {Label1, Label2, Label3, Label4})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Button3 = new QPushButton(QStringLiteral("问题清单…"), this);
    Button3->hide();
    Button2 = new QPushButton(QStringLiteral("过滤复制开始"), this);
    Button1 = new QPushButton(CancelText(), this);
    Button4 = new QPushButton(PauseText(), this);
    Button4->hide();
    m_pump.setInterval(kPumpIntervalMs);
}

void TForm7::createLayout() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button2);
    buttons->addSpacing(12);
    buttons->addWidget(Button4);
    buttons->addWidget(Button1);

    auto* check = new QHBoxLayout;
    check->addWidget(Label3, 1);
    check->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addLayout(check);
    layout->addSpacing(4);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Label4);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setFixedSize(520, 200);
}

void TForm7::connectSignals() {
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guard([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guard([this] { Button3Click(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { Guard([this] { Button4Click(); }); });
    connect(&m_pump, &QTimer::timeout, this, &TForm7::ShowProgress);
}

void TForm7::FormActivate() {
    // Each showing offers a fresh copy, so the texts of an earlier copy's end do not stay.
    setWindowTitle(ReadyCaption());
    Button1->setText(CancelText());
    ProgressBar1->setValue(0);
    if (!m_continueTarget.empty())
        return ShowContinueOffer();
    Label1->setText(ToQ(CopyingText::FromText(FunSub::SourceDir, FunSub::WorkDir)));
    Label2->setText(ToQ("to: " + FunSub::TargetName));
    Label4->clear();
    RunCheck();
}

void TForm7::RunCheck() {
    // Nothing is written until the check has said what the copy will meet. It walks the
    // whole source on a thread of its own with its own copy of what it needs, so that the
    // dialog goes on and "放　　弃" leaves it at once.
    m_plan = {};
    Button2->setEnabled(false);
    Button3->hide();
    SetTextColour(Label3, Qt::black);
    Label3->setText(CheckingText());
    Button1->setFocus();
    m_checking = true;
    ShowPauseButton(true);
    auto plan = std::make_shared<FunSub::CopyPlan>();
    FunSub::CopyJob job = FunSub::CurrentCopyJob();
    // What the rules take out the statistics already know, left-out directories included.
    const std::int64_t ruleFiles =
        job.filter.rules().empty() ? -1
                                   : FunSub::MeasureFilter(MainWindow()->SourceTree(),
                                                           MainWindow()->SourceFiles(), job.filter)
                                         .ruleFiles;
    m_checker.Start(
        [plan, tree = MainWindow()->SourceTree(), job = std::move(job), ruleFiles,
         gate = &m_gate](Background::Stop stop) {
            *plan = FunSub::CheckCopy(job, tree, FunSub::StopToken(stop, gate));
            plan->ruleFiles = ruleFiles;
        },
        [this, plan](std::exception_ptr failure) {
            m_checking = false;
            ShowPauseButton(false);
            if (failure) {
                Label3->clear();
                Guard([&] { std::rethrow_exception(failure); });
                return;
            }
            m_plan = std::move(*plan);
            ShowCheck();
        });
}

void TForm7::ShowCheck() {
    if (m_plan.Blocked()) {
        SetTextColour(Label3, Qt::red);
        Label3->setText(ToQ(FunSub::ProblemText(m_plan.problems.front())));
    } else {
        Label3->setText(ToQ(FunSub::CheckLine(m_plan, FunSub::KeepGoing)));
    }
    Label3->setToolTip(Label3->text());
    Button3->setVisible(!m_plan.problems.empty());
    Button2->setEnabled(!m_plan.Blocked());
    (Button2->isEnabled() ? Button2 : Button1)->setFocus();
}

void TForm7::Button3Click() {
    QStringList lines;
    for (const FunSub::CopyProblem& p : m_plan.problems) lines << ToQ(FunSub::ProblemText(p));
    Messages().ShowList(QStringLiteral("复制前检查"),
                        QStringLiteral("检查发现 %1 个问题：").arg(lines.size()), lines, this);
}

void TForm7::Button2Click() {
    setWindowTitle(RunningCaption());
    Button2->setEnabled(false);
    if (!m_continueTarget.empty())
        return RunContinue();
    MainWindow()->SourceCopied();
    RunFilterCopy();
}

void TForm7::OfferContinue(const std::string& target) {
    m_continueTarget = target;
}

// From the record: where the copy came from and went to, and what pressing start does.
void TForm7::ShowContinueOffer() {
    m_checker.Abandon();
    m_plan = {};
    m_plan.files = m_plan.bytes = -1;  // what is left to copy is known only as it goes
    Button3->hide();
    Label4->clear();
    const std::string target = m_continueTarget;
    try {
        const FunSub::CopyRecord record = FunSub::ContinuableRecord(target);
        Label1->setText(ToQ(CopyingText::FromText(record.source, record.workDir)));
        Label2->setText(ToQ("to: " + target));
        SetTextColour(Label3, Qt::black);
        Label3->setText(QStringLiteral("继续复制：已完整的文件保留，缺少或不同的文件从源目录复制"));
        Button2->setEnabled(true);
        Button2->setFocus();
    } catch (const FunSub::QuillError& e) {
        SetTextColour(Label3, Qt::red);
        Label3->setText(ToQ(e.what()));
        Button2->setEnabled(false);
        Button1->setFocus();
    }
    Label3->setToolTip(Label3->text());
}

void TForm7::RunContinue() {
    m_relay.Reset();
    m_summary = {};
    m_continued = {};
    m_rate = {};
    m_shownTextVersion = 0;
    m_clock.Start();
    m_verifyShown = false;
    m_copying = true;
    ShowPauseButton(false);  // continuing is not paused: it has no resting points yet
    m_pump.start();
    FunSub::CopyOptions options;
    options.keepGoing = FunSub::KeepGoing;
    options.verify = FunSub::Verify;
    auto summary = std::make_shared<FunSub::ContinueSummary>();
    m_copier.Start(
        [this, target = m_continueTarget, options, summary](Background::Stop stop) mutable {
            options.stop = stop;
            FunSub::ContinueCopy(target, options, m_relay, *summary);
        },
        [this, summary](const std::exception_ptr& failure) {
            m_continued = std::move(*summary);
            m_summary = m_continued.copy;
            ContinueEnded(failure);
        });
}

void TForm7::ContinueEnded(const std::exception_ptr& failure) {
    m_pump.stop();
    m_copying = false;
    ShowProgress();
    ShowEnd(failure         ? FunSub::CopyEnd::Failed
            : CopyStopped() ? FunSub::CopyEnd::Stopped
                            : FunSub::CopyEnd::Finished);
    if (!failure && !CopyStopped()) {
        Label4->setText(Label4->text() + QStringLiteral("；保留 %1 个已完整的文件")
                                             .arg(ToQ(FunSub::FormatThousands(m_continued.kept))));
    }
    Label4->setToolTip(Label4->text());
    Button1->setFocus();
    Button1->setText(BackText());
    if (failure) {
        Guard([&] { std::rethrow_exception(failure); });
        return;
    }
    setWindowTitle(CopyStopped() ? StoppedCaption() : DoneCaption());
    if (CopyStopped())
        return;
    ShowSkipped();
    ShowMismatches();
    if (m_continued.extras.empty())
        return;
    QStringList lines;
    for (const std::string& extra : m_continued.extras) lines << ToQ(extra);
    Messages().ShowList(
        DoneCaption(),
        QStringLiteral("目标目录中另有 %1 个项目不是这次复制的，已保留：").arg(lines.size()), lines,
        this);
}

void TForm7::CopyEnded(const std::exception_ptr& failure) {
    m_pump.stop();
    m_copying = false;
    ShowPauseButton(false);
    // The last texts and steps are shown whatever the timer managed to show.
    ShowProgress();
    ShowEnd(failure         ? FunSub::CopyEnd::Failed
            : CopyStopped() ? FunSub::CopyEnd::Stopped
                            : FunSub::CopyEnd::Finished);
    Button1->setFocus();  // the one way on: back, or away from a failed copy
    if (failure) {
        Guard([&] {
            try {
                std::rethrow_exception(failure);
            } catch (const FunSub::CopyRefusedError& e) {
                // A taken name sends the user back to choose the source again, which picks a
                // new one.
                if (dynamic_cast<const FunSub::TargetExistsError*>(&e))
                    MainWindow()->DropTargetName();
                Messages().Warn(ToQ(e.what()));
            }
        });
        return;
    }
    Button1->setText(BackText());
    if (CopyStopped()) {
        setWindowTitle(StoppedCaption());
        return;
    }
    setWindowTitle(DoneCaption());
    ShowSkipped();
    ShowMismatches();
}

// Stopped before the copy was whole; a stop while it was read back leaves a whole copy.
bool TForm7::CopyStopped() const {
    return m_summary.stopped && m_summary.verified < 0;
}

void TForm7::ShowMismatches() {
    if (m_summary.mismatches.empty())
        return;
    QStringList lines;
    for (const FunSub::Mismatch& m : m_summary.mismatches) {
        QString line = ToQ(m.path) + QStringLiteral("：") + ToQ(m.reason);
        if (m.error != 0)
            line += QStringLiteral("（") + ToQ(FunSub::ReasonText(m.error)) + QStringLiteral("）");
        lines << line;
    }
    Messages().ShowList(DoneCaption(),
                        QStringLiteral("以下 %1 个文件与源文件不符：").arg(lines.size()), lines,
                        this);
}

void TForm7::ShowSkipped() {
    if (m_summary.skipped.empty())
        return;
    QStringList lines;
    for (const FunSub::SkippedItem& item : m_summary.skipped) {
        lines << ToQ(item.path) + QStringLiteral("：") + ToQ(FunSub::ReasonText(item));
    }
    Messages().ShowList(DoneCaption(), QStringLiteral("以下 %1 个项目没有复制：").arg(lines.size()),
                        lines, this);
}

void TForm7::RunFilterCopy() {
    // The worker gets its own copy of the tree, so nothing the window thread does can
    // change what it walks. Meanwhile only "放　　弃" and the close box act: they stop it.
    m_relay.Reset();
    m_summary = {};
    m_rate = {};
    m_shownTextVersion = 0;
    m_clock.Start();
    // The check's listing is the copy's plan: no directory is read twice.
    FunSub::CopyJob job = FunSub::CurrentCopyJob();
    job.options.plan = &m_plan;
    job.options.record = true;  // for the comparison window
    m_verifyShown = false;
    m_copying = true;
    ShowPauseButton(true);
    m_pump.start();
    auto summary = std::make_shared<FunSub::CopySummary>();
    m_copier.Start(
        [this, job, tree = MainWindow()->SourceTree(), summary](Background::Stop stop) mutable {
            job.options.stop = FunSub::StopToken(stop, &m_gate);
            FunSub::RunFilterCopy(job, tree, m_relay, *summary);
        },
        [this, summary](const std::exception_ptr& failure) {
            m_summary = std::move(*summary);  // how far it got, also after a failure
            CopyEnded(failure);
        });
}

void TForm7::ShowProgress() {
    if (m_checking)
        return ShowCheckPaused();
    const CopyRelay::Snapshot s = m_relay.Take();
    if (s.max != kMaxNotSet) {
        // A range of 0 to 0 would turn the bar into a busy indicator; an empty tree shows an
        // empty bar. Steps past the maximum (files added since the statistics) keep the bar
        // full rather than starting it over.
        const int max = std::max(ClampToInt(s.max), 1);
        if (ProgressBar1->maximum() != max || ProgressBar1->minimum() != 0)
            ProgressBar1->setRange(0, max);
        ProgressBar1->setValue(std::min(ClampToInt(s.steps), max));
    }
    if (s.textVersion != m_shownTextVersion) {
        m_shownTextVersion = s.textVersion;
        if (!s.fromText.empty())
            Label1->setText(ToQ(s.fromText));
        if (!s.toText.empty())
            Label2->setText(ToQ(s.toText));
    }
    if (m_gate.Resting()) {
        // Nothing moves: what is done, without a rate or a time left.
        Label4->setText(ToQ(
            s.verifying
                ? FunSub::PausedLine(s.files, s.verifyFiles, s.bytes, s.verifyBytes, "已校验 ")
                : FunSub::PausedLine(s.copiedFiles, m_plan.files, s.copiedBytes, m_plan.bytes)));
        return;
    }
    if (s.syncing) {
        Label4->setText(QString::fromUtf8(FunSub::kSyncingText));
        return;
    }
    if (s.verifying && !m_verifyShown) {
        m_verifyShown = true;  // its own rate, from its own start
        m_rate = {};
        m_verifyStart = m_clock.Seconds();
    }
    // The rate is of the time the copy ran: while paused it takes no samples.
    const double seconds = m_clock.Seconds() - (s.verifying ? m_verifyStart : 0);
    if (!m_clock.Paused())
        m_rate.Add(seconds, s.files, s.bytes);
    Label4->setText(
        s.verifying
            ? QStringLiteral("正在校验 ") +
                  ToQ(FunSub::ProgressLine(s.files, s.verifyFiles, s.bytes, s.verifyBytes, m_rate))
            : ToQ(FunSub::ProgressLine(s.files, m_plan.files, s.bytes, m_plan.bytes, m_rate)));
}

namespace {

double g_noticeAfter = 10;

}  // namespace

void TForm7::SetNoticeAfter(double seconds) {
    g_noticeAfter = seconds;
}

void TForm7::ShowEnd(FunSub::CopyEnd end) {
    const CopyRelay::Snapshot s = m_relay.Take();
    const double seconds = s.verifying ? m_verifyStart : m_clock.Seconds();
    std::string line =
        FunSub::EndLine(end, s.copiedFiles, m_plan.files, s.copiedBytes, m_plan.bytes, seconds,
                        static_cast<std::int64_t>(m_summary.skipped.size()));
    if (m_summary.verified >= 0)
        line += "；" + FunSub::VerifyText(m_summary);
    Label4->setText(ToQ(line));
    // A user who turned to something else during a long copy is told how it ended.
    if (m_clock.Seconds() >= g_noticeAfter && QApplication::activeWindow() != this)
        Messages().Notify(Label4->text(), this);
}

bool TForm7::EscapeCloses() const {
    return !m_copying;
}

void TForm7::Button1Click() {
    if (m_copying) {
        StopCopy();  // the copy ends after the file in progress
        return;
    }
    m_checker.Abandon();  // a check still reading is told to stop and never heard of again
    m_checking = false;
    ShowPauseButton(false);
    Button2->setEnabled(true);
    m_continueTarget.clear();
    ReturnTo(this, MainWindow());
}

void TForm7::FormClose() {
    Button1Click();
}

void TForm7::Button4Click() {
    if (!m_copying && !m_checking)
        return;
    if (m_gate.Paused()) {
        m_gate.Resume();
        m_clock.Resume();
        Button4->setText(PauseText());
        if (!m_copying)
            Label3->setText(CheckingText());
        return;
    }
    // The threads rest at the next part of a file, or before the next file or directory; the
    // line says so once they all do.
    m_gate.Pause();
    m_clock.Pause();
    Button4->setText(ResumeText());
    if (!m_copying)
        m_pump.start();
}

void TForm7::StopCopy() {
    m_copier.RequestStop();
    // Woken, the threads see the stop and end the files in progress.
    m_gate.Resume();
    m_clock.Resume();
    ShowPauseButton(false);
}

void TForm7::ShowPauseButton(bool shown) {
    if (!shown) {
        m_gate.Resume();
        m_clock.Resume();
    }
    Button4->setText(PauseText());
    Button4->setVisible(shown);
    if (!shown && !m_copying)
        m_pump.stop();
}

void TForm7::ShowCheckPaused() {
    if (m_gate.Resting())
        Label3->setText(QStringLiteral("已暂停：") + CheckingText());
}

void TForm7::closeEvent(QCloseEvent* event) {
    if (m_copying) {
        StopCopy();
        event->ignore();
        return;
    }
    ChainWindow::closeEvent(event);
}
