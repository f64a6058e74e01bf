#include "ui/RulesPanel.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <cmath>

#include "core/CopyJob.h"
#include "core/FunSub.h"
#include "core/Glob.h"
#include "ui/ChainWindow.h"
#include "ui/ColumnWidths.h"
#include "ui/Messages.h"
#include "ui/Palette.h"

namespace {

constexpr std::int64_t kMegabyte = 1024 * 1024;

}  // namespace

RulesPanel::RulesPanel(QWidget* parent) : QWidget(parent) {
    auto* caption =
        new QLabel(QStringLiteral("源目录中的目录名（勾选的目录连同其中的一切都不复制）："), this);
    caption->setWordWrap(true);
    DirList = new QTreeWidget(this);
    DirList->setColumnCount(4);
    DirList->setHeaderLabels({QStringLiteral("目录名"), QStringLiteral("目录数"),
                              QStringLiteral("文件数"), QStringLiteral("大小")});
    for (int c = 1; c < 4; ++c)
        DirList->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    DirList->header()->setStretchLastSection(false);
    const int widths[] = {110, 56, 56, 90};
    for (int c = 0; c < 4; ++c) DirList->setColumnWidth(c, widths[c]);
    DirList->setRootIsDecorated(false);
    DirList->setUniformRowHeights(true);
    DirList->setAllColumnsShowFocus(true);
    DirList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ShowFocusOnFrame(DirList);

    auto* patternsCaption =
        new QLabel(QStringLiteral("名称模式（以 ; 分隔，以 / 结尾的用于目录名）："), this);
    Patterns = new QLineEdit(this);
    Patterns->setPlaceholderText(QStringLiteral("*.min.js; ~$*; build*/"));
    SizeBox = new QCheckBox(QStringLiteral("大于"), this);
    SizeField = new QLineEdit(QStringLiteral("100"), this);
    SizeField->setMaximumWidth(80);
    auto* sizeUnit = new QLabel(QStringLiteral("MB 的文件不复制"), this);
    GitBox = new QCheckBox(QStringLiteral("按 .gitignore 滤除（git 忽略的文件不复制）"), this);
    ProblemLabel = new QLabel(this);
    SetTextColour(ProblemLabel, Qt::red);
    ProblemLabel->setWordWrap(true);
    ProblemLabel->hide();
    for (QWidget* w :
         std::initializer_list<QWidget*>{caption, patternsCaption, SizeBox, sizeUnit, GitBox})
        SetTextColour(w, kMaroon);

    auto* size = new QHBoxLayout;
    size->addWidget(SizeBox);
    size->addWidget(SizeField);
    size->addWidget(sizeUnit);
    size->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addWidget(DirList, 1);
    layout->addWidget(patternsCaption);
    layout->addWidget(Patterns);
    layout->addLayout(size);
    layout->addWidget(GitBox);
    layout->addWidget(ProblemLabel);

    connect(DirList, &QTreeWidget::itemChanged, this, &RulesPanel::Changed);
    connect(Patterns, &QLineEdit::textChanged, this, &RulesPanel::Changed);
    connect(SizeBox, &QCheckBox::toggled, this, &RulesPanel::Changed);
    connect(SizeField, &QLineEdit::textChanged, this, &RulesPanel::Changed);
    connect(GitBox, &QCheckBox::toggled, this, &RulesPanel::Changed);
}

QTreeWidgetItem* RulesPanel::AddRow(const FunSub::DirNameStat& name) {
    auto* row = new QTreeWidgetItem({ToQ(name.name), QString::number(name.directories),
                                     QString::number(name.files),
                                     ToQ(FunSub::FormatThousands(name.bytes))});
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                  Qt::ItemNeverHasChildren);
    row->setCheckState(0, Qt::Unchecked);
    for (int c = 1; c < 4; ++c) row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    // The name's own bytes: one that is not UTF-8 still leaves out exactly.
    row->setData(0, Qt::UserRole,
                 QByteArray(name.name.data(), static_cast<qsizetype>(name.name.size())));
    DirList->addTopLevelItem(row);
    return row;
}

void RulesPanel::Fill(const std::vector<FunSub::DirNameStat>& names) {
    const QSignalBlocker quiet(this);
    DirList->clear();
    for (const FunSub::DirNameStat& name : names) AddRow(name);
    WidenColumnsToTexts(DirList);
    Patterns->clear();
    SizeBox->setChecked(false);
    SizeField->setText(QStringLiteral("100"));
    GitBox->setChecked(false);
    ProblemLabel->hide();
}

void RulesPanel::Show(const FunSub::FilterRules& rules) {
    {
        const QSignalBlocker quiet(this);
        for (int i = 0; i < DirList->topLevelItemCount(); ++i)
            DirList->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        for (const std::string& name : rules.directoryNames) {
            const QByteArray key(name.data(), static_cast<qsizetype>(name.size()));
            QTreeWidgetItem* row = nullptr;
            for (int i = 0; i < DirList->topLevelItemCount() && !row; ++i) {
                if (DirList->topLevelItem(i)->data(0, Qt::UserRole).toByteArray() == key)
                    row = DirList->topLevelItem(i);
            }
            if (!row)
                row = AddRow(FunSub::DirNameStat{name});
            row->setCheckState(0, Qt::Checked);
        }
        QStringList patterns;
        for (const std::string& p : rules.namePatterns) patterns << ToQ(p);
        Patterns->setText(patterns.join(QStringLiteral("; ")));
        SizeBox->setChecked(rules.sizeLimit >= 0);
        if (rules.sizeLimit >= 0)
            SizeField->setText(QString::number(static_cast<double>(rules.sizeLimit) / kMegabyte));
        GitBox->setChecked(rules.gitignore);
    }
    Changed();
}

std::vector<std::string> RulesPanel::PatternList() const {
    std::vector<std::string> out;
    for (const QString& p : Patterns->text().split(QLatin1Char(';'))) {
        const QString pattern = p.trimmed();
        if (!pattern.isEmpty())
            out.push_back(pattern.toUtf8().toStdString());
    }
    return out;
}

FunSub::FilterRules RulesPanel::Rules() const {
    FunSub::FilterRules rules;
    for (int i = 0; i < DirList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = DirList->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked)
            rules.directoryNames.push_back(row->data(0, Qt::UserRole).toByteArray().toStdString());
    }
    for (std::string& p : PatternList()) {
        if (FunSub::GlobProblem(p).empty())
            rules.namePatterns.push_back(std::move(p));
    }
    rules.gitignore = GitBox->isChecked();
    if (SizeBox->isChecked())
        rules.sizeLimit = SizeLimit();  // -1, no limit, while the field holds no size
    return rules;
}

std::int64_t RulesPanel::SizeLimit() const {
    return FunSub::ParseSize(SizeField->text().trimmed().toStdString() + "M");
}

QString RulesPanel::Problem() const {
    for (const std::string& p : PatternList()) {
        const std::string problem = FunSub::GlobProblem(p);
        if (!problem.empty())
            return QStringLiteral("名称模式 “%1” 不能使用：%2").arg(ToQ(p), ToQ(problem));
    }
    if (SizeBox->isChecked() && SizeLimit() < 0)
        return QStringLiteral("“%1” 不是以 MB 为单位的大小").arg(SizeField->text());
    return {};
}

void RulesPanel::Changed() {
    const QString problem = Problem();
    ProblemLabel->setText(problem);
    ProblemLabel->setVisible(!problem.isEmpty());
    emit changed();
}
