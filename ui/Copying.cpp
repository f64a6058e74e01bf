#include "ui/Copying.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <exception>
#include <thread>

#include "core/FunSub.h"
#include "ui/Main.h"
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
QString CancelText() {
    return QStringLiteral("放　　弃");
}
QString BackText() {
    return QStringLiteral("返　　回");
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

// No window of the program takes input while the copy runs; afterwards each window is as
// enabled as it was before.
class InputBlock {
public:
    InputBlock(QWidget* a, QWidget* b)
        : m_a(a), m_b(b), m_aWas(a->isEnabled()), m_bWas(b->isEnabled()) {
        m_a->setEnabled(false);
        m_b->setEnabled(false);
    }
    ~InputBlock() {
        m_b->setEnabled(m_bWas);
        m_a->setEnabled(m_aWas);
    }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

private:
    QWidget* m_a;
    QWidget* m_b;
    bool m_aWas;
    bool m_bWas;
};

}  // namespace

void CopyRelay::Reset() {
    m_max = kMaxNotSet;
    m_step = 1;
    m_steps = 0;
    const std::lock_guard lock(m_textMutex);
    m_fromText.clear();
    m_toText.clear();
    m_textVersion = 0;
}

CopyRelay::Snapshot CopyRelay::Take() const {
    Snapshot s;
    s.max = m_max.load();
    s.steps = m_steps.load();
    const std::lock_guard lock(m_textMutex);
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

std::string CopyingText::FromText(const std::string& sourceDir, const std::string& workDir) {
    return "from: " + FunSub::PathShownFrom(workDir, sourceDir);
}

TForm7::TForm7()
    : ChainWindow(kFixedDialogFlags) {
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
    // A long path is cut at the dialog's edge instead of widening it.
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Button2 = new QPushButton(QStringLiteral("过滤复制开始"), this);
    Button1 = new QPushButton(CancelText(), this);
    m_pump.setInterval(kPumpIntervalMs);
}

void TForm7::createLayout() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button2);
    buttons->addSpacing(12);
    buttons->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(4);
    layout->addWidget(ProgressBar1);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setFixedSize(480, 150);
}

void TForm7::connectSignals() {
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guard([this] { Button2Click(); }); });
    connect(&m_pump, &QTimer::timeout, this, &TForm7::ShowProgress);
}

void TForm7::FormActivate() {
    // Each showing offers a fresh copy, so the texts of an earlier copy's end do not stay.
    setWindowTitle(ReadyCaption());
    Button1->setText(CancelText());
    ProgressBar1->setValue(0);
    Label1->setText(ToQ(CopyingText::FromText(FunSub::SourceDir, FunSub::WorkDir)));
    Label2->setText(ToQ("to: " + FunSub::TargetName));
}

void TForm7::Button2Click() {
    Form1->Button1->setEnabled(false);
    setWindowTitle(RunningCaption());
    Button2->setEnabled(false);
    try {
        RunFilterCopy();
    } catch (const FunSub::TargetExistsError&) {
        Form1->DropTargetName();
        Messages().Warn(ToQ(FunSub::kTargetExistsText));
        return;
    }
    Button1->setText(BackText());
    setWindowTitle(DoneCaption());
}

void TForm7::RunFilterCopy() {
    // The worker gets its own copy of the tree, so nothing the window thread does can
    // change what it walks.
    const FunSub::DirTree tree = Form1->SourceTree();
    m_relay.Reset();
    m_shownTextVersion = 0;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    QEventLoop loop;
    {
        const InputBlock block(this, Form1);
        std::thread worker([&] {
            try {
                FunSub::RunFilterCopy(tree, m_relay);
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        m_copying = true;
        m_pump.start();
        if (!done)
            loop.exec();
        worker.join();
        m_pump.stop();
        m_copying = false;
    }
    // The last texts and steps are shown whatever the timer managed to show.
    ShowProgress();
    if (failure)
        std::rethrow_exception(failure);
}

void TForm7::ShowProgress() {
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
}

void TForm7::Button1Click() {
    if (m_copying)
        return;
    Button2->setEnabled(true);
    ReturnTo(this, Form1);
}

void TForm7::FormClose() {
    Button1Click();
}

void TForm7::closeEvent(QCloseEvent* event) {
    if (m_copying) {
        event->ignore();
        return;
    }
    ChainWindow::closeEvent(event);
}
