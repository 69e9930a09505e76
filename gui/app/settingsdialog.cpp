// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>


#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/patterns/fieldreading.h"

namespace duolink {

namespace {

size_t at(Parameter p) { return static_cast<size_t>(p); }

QString optionMeaning(const std::string& text)
{
    if (text == "1")
        return SettingsDialog::tr("1: start from the W matrix in this file, then report as 4");
    if (text == "2")
        return SettingsDialog::tr("2: the report gets only the final matrix");
    if (text == "3")
        return SettingsDialog::tr("3: a status line per pair and presentation, and the final matrix");
    if (text == "4")
        return SettingsDialog::tr("4: as 3, plus the values of every pair");
    return SettingsDialog::tr("1 to 4: what the report file gets");
}

} // namespace

std::optional<CurrentMatrix> engineMatrix(const EngineState& engine)
{
    const int aLen = engine.state().aLen;
    const int bLen = engine.state().bLen;
    if (aLen < 1 || bLen < 1 || aLen * bLen > kMatrixCells)
        return std::nullopt;
    return CurrentMatrix{aLen, bLen,
                         std::vector<double>(engine.state().wMatrix.begin(), engine.state().wMatrix.begin() + aLen * bLen + 1)};
}

std::string exampleParametersText()
{
    QFile file(QStringLiteral(":/examples/veld200gSetup.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

SettingsDialog::SettingsDialog(const QString& folder, std::optional<CurrentMatrix> matrix, QWidget* parent)
    : QDialog(parent), matrix_(std::move(matrix)), folder_(folder),
      path_(QDir(folder).filePath(QString::fromLatin1(kParametersFileName)))
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(tr("Settings"));
    build();
    load();
}

void SettingsDialog::load()
{
    std::string error;
    if (!QFileInfo(path_).exists()) {
        fileMissing_ = true;
        text_ = exampleParametersText();
    } else if (!readParametersFile(path_.toStdString(), text_, error)) {
        loadError_ = tr("%1: %2").arg(QString::fromLatin1(kParametersFileName), QString::fromStdString(error));
        return;
    }
    // The engine takes "nutest.dat" in any letter case.
    const QStringList files = QDir(folder_).entryList(QDir::Files | QDir::Readable);
    simulationFile_ = std::any_of(files.begin(), files.end(), [](const QString& name) {
        return name.compare(QLatin1String("nutest.dat"), Qt::CaseInsensitive) == 0;
    });
    const ParametersLayout layout = scanParameters(text_);
    for (size_t k = 0; k < kParameterCount; ++k) {
        // A value missing at the end of the file reads as 0.
        initial_[k] = layout.tokens[k].text.empty() ? "0" : std::string(layout.tokens[k].text);
        if (fields_[k])
            fields_[k]->setText(QString::fromStdString(initial_[k]));
    }
    simulation_->setChecked(simulationOn(initial_[at(Parameter::Simulation)]));
    for (Parameter p : {Parameter::Option, Parameter::Simulation, Parameter::Transfer})
        showChoice(p);
    const QString path = QDir::toNativeSeparators(path_);
    header_->setText(fileMissing_ ? tr("%1 does not exist. Save creates it with these values.").arg(path)
                                  : tr("Solve reads these values from %1.").arg(path));
    check();
}

void SettingsDialog::build()
{
    auto* layout = new QVBoxLayout(this);
    header_ = new QLabel(this);
    header_->setWordWrap(true);
    layout->addWidget(header_);

    // Each row: caption, field, and its explanation, which a message about
    // the value replaces while there is one, so that nothing moves as one types.
    auto* grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    addRow(grid, 0, Parameter::Option, QString());
    addChoices(grid, 0, Parameter::Option,
               {{QStringLiteral("1"), tr("RWM: start from the W matrix in this file")},
                {QStringLiteral("2"), tr("PFM: start from the patterns")},
                {QStringLiteral("3"), tr("STL: start from the patterns, a status line per pair")},
                {QStringLiteral("4"), tr("IRN: start from the patterns, every pair's values")}});
    addRow(grid, 1, Parameter::Max, tr("the most passes over all pairs; 0 trains nothing"));
    // The window's pairs are eight values and the parity element on the A
    // side, eight values on the B side; job files may have other lengths.
    addRow(grid, 2, Parameter::ALen, tr("A values per pattern: 9 for the window's pairs (8 and the parity element); "
                                        "1 to 128 for job files of their own"));
    addRow(grid, 3, Parameter::BLen, tr("B values per pattern: 8 for the window's pairs; "
                                        "1 to 128 for job files of their own"));
    simulation_ = new QCheckBox(tr("On"), this);
    simulation_->setObjectName(QStringLiteral("simulation"));
    simulation_->hide();
    auto* caption = new QLabel(tr("Simulation pass"), this);
    messages_[at(Parameter::Simulation)] = new QLabel(this);
    grid->addWidget(caption, 4, 0);
    grid->addWidget(messages_[at(Parameter::Simulation)], 4, 2);
    addChoices(grid, 4, Parameter::Simulation,
               {{QStringLiteral("0"), tr("off")}, {QStringLiteral("1"), tr("feed nutest.dat through the matrix")}});
    caption->setBuddy(choices_[at(Parameter::Simulation)]);
    addRow(grid, 5, Parameter::Beta, tr("learning factor; lower it if a training swings"));
    addRow(grid, 6, Parameter::Limit, tr("read and echoed in the report; no computation uses it"));
    // Shown as what it is: a value kept in the file that nothing reads.
    field(Parameter::Limit)->setEnabled(false);
    if (auto* limitCaption = qobject_cast<QLabel*>(grid->itemAtPosition(6, 0)->widget())) {
        limitCaption->setText(tr("LIMIT (not used)"));
        limitCaption->setEnabled(false);
    }
    addRow(grid, 7, Parameter::Transfer, QString());
    addChoices(grid, 7, Parameter::Transfer,
               {{QStringLiteral("1"), tr("nonlinear squashing")}, {QStringLiteral("2"), tr("linear")}});
    addRow(grid, 8, Parameter::Unity, tr("fixed-point scale; keep 10000"));
    addRow(grid, 9, Parameter::Tol, tr("a pair is recalled when every B value is within TOL"));
    layout->addLayout(grid);

    fromMatrix_ = new QPushButton(tr("Start the next Solve from the current matrix"), this);
    fromMatrix_->setObjectName(QStringLiteral("fromMatrix"));
    fromMatrix_->setEnabled(matrix_.has_value());
    fromMatrix_->setToolTip(matrix_ ? tr("Run option 1, with the %1 \u00d7 %2 matrix of the last Solve or Load Matrix "
                                         "as the W matrix section")
                                          .arg(matrix_->aLen)
                                          .arg(matrix_->bLen)
                                    : tr("There is no matrix yet: Solve or Load Matrix first."));
    connect(fromMatrix_, &QPushButton::clicked, this, &SettingsDialog::startFromMatrix);
    layout->addWidget(fromMatrix_, 0, Qt::AlignLeft);
    sectionNote_ = new QLabel(this);
    sectionNote_->setWordWrap(true);
    sectionNote_->hide();
    layout->addWidget(sectionNote_);

    saveError_ = new QLabel(this);
    saveError_->setObjectName(QStringLiteral("saveError"));
    saveError_->setWordWrap(true);
    saveError_->setStyleSheet(QStringLiteral("color: #c01c28"));
    saveError_->hide();
    layout->addWidget(saveError_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, [this] {
        if (save())
            accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);

    for (QLineEdit* field : fields_)
        if (field)
            connect(field, &QLineEdit::textChanged, this, &SettingsDialog::check);
    connect(simulation_, &QCheckBox::toggled, this, &SettingsDialog::check);
}

void SettingsDialog::addChoices(QGridLayout* grid, int row, Parameter p,
                                const std::vector<std::pair<QString, QString>>& codes)
{
    auto* box = new QComboBox(this);
    const std::string_view name = parameterInfo(p).name;
    box->setObjectName(QString::fromLatin1(name.data(), qsizetype(name.size())) + QStringLiteral("Choice"));
    for (const auto& [code, name] : codes)
        box->addItem(QStringLiteral("%1 \u2014 %2").arg(code, name), code);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    if (auto* caption = qobject_cast<QLabel*>(grid->itemAtPosition(row, 0)->widget())) {
        caption->setBuddy(box);
        box->setAccessibleName(caption->text());
    }
    grid->addWidget(box, row, 1);
    choices_[at(p)] = box;
    if (QLineEdit* edit = fields_[at(p)]) {
        edit->hide();
        connect(box, &QComboBox::activated, edit, [box, edit] { edit->setText(box->currentData().toString()); });
        connect(edit, &QLineEdit::textChanged, this, [this, p] { showChoice(p); });
    } else {
        connect(box, &QComboBox::activated, simulation_,
                [this, box] { simulation_->setChecked(box->currentData().toString() == QLatin1String("1")); });
        connect(simulation_, &QCheckBox::toggled, this, [this, p] { showChoice(p); });
    }
}

// The choice for the value the field holds; a value of no code is shown as
// it stands, so that nothing changes unless the user picks another.
void SettingsDialog::showChoice(Parameter p)
{
    QComboBox* box = choices_[at(p)];
    const QString code = fields_[at(p)] ? fields_[at(p)]->text().trimmed()
                                         : (simulation_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    for (int i = box->count() - 1; i >= 0; --i)
        if (box->itemData(i, Qt::UserRole + 1).toBool())
            box->removeItem(i);
    int index = box->findData(code);
    if (index < 0) {
        box->insertItem(0, tr("%1 \u2014 not one of the codes").arg(code), code);
        box->setItemData(0, true, Qt::UserRole + 1);
        index = 0;
    }
    box->setCurrentIndex(index);
}

void SettingsDialog::addRow(QGridLayout* grid, int row, Parameter p, const QString& help)
{
    const ParameterInfo& info = parameterInfo(p);
    auto* field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(info.name.data(), static_cast<qsizetype>(info.name.size())));
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16);
    const QString label = QString::fromLatin1(info.label.data(), static_cast<qsizetype>(info.label.size()));
    auto* caption = new QLabel(label.left(1).toUpper() + label.mid(1), this);
    caption->setBuddy(field);
    field->setAccessibleName(caption->text());
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row, 1);
    auto* message = new QLabel(this);
    grid->addWidget(message, row, 2);
    fields_[at(p)] = field;
    messages_[at(p)] = message;
    helps_[at(p)] = help;
}

QPushButton* SettingsDialog::saveButton() const
{
    return buttons_->button(QDialogButtonBox::Save);
}

std::array<std::string, kParameterCount> SettingsDialog::texts() const
{
    std::array<std::string, kParameterCount> out;
    for (size_t k = 0; k < kParameterCount; ++k)
        out[k] = fields_[k] ? fields_[k]->text().trimmed().toStdString() : std::string();
    // The box says only whether the pass is on: a value that already means
    // the same stays as it is.
    const bool wasOn = simulationOn(initial_[at(Parameter::Simulation)]);
    out[at(Parameter::Simulation)] =
        simulation_->isChecked() == wasOn ? initial_[at(Parameter::Simulation)] : simulation_->isChecked() ? "1" : "0";
    return out;
}

void SettingsDialog::check()
{
    const auto values = texts();
    helps_[at(Parameter::Option)] = optionMeaning(values[at(Parameter::Option)]);
    helps_[at(Parameter::Transfer)] = values[at(Parameter::Transfer)] == "2"
                                          ? tr("2: the product is used as it is")
                                          : tr("1: training and simulation squash the product");
    helps_[at(Parameter::Simulation)] = simulationFile_
                                            ? tr("feed nutest.dat through the trained matrix; it is in the folder")
                                            : tr("feed nutest.dat through the trained matrix; it is not in the folder");
    ParametersContext context;
    context.simulationFilePresent = simulationFile_;
    double a = 0, b = 0;
    const bool lengths = parameterValue(Parameter::ALen, values[at(Parameter::ALen)], a) &&
                         parameterValue(Parameter::BLen, values[at(Parameter::BLen)], b);
    if (section_)
        context.wMatrixSection = lengths && a == sectionALen_ && b == sectionBLen_;
    else
        context.wMatrixSection = lengths && hasWMatrixSection(text_, scanParameters(text_), int(a), int(b));

    std::array<QString, kParameterCount> texts;
    std::array<bool, kParameterCount> errors{};
    bool anyError = false;
    for (const ParameterMessage& m : checkParameters(values, context)) {
        QString& text = texts[at(m.parameter)];
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QString::fromStdString(m.text);
        // "0,5" gets the main window's word for it.
        if (m.error && readField(values[at(m.parameter)]).issue == FieldIssue::DecimalComma)
            text.replace(QLatin1String("number."), QLatin1String("number (decimal comma?)."));
        errors[at(m.parameter)] = errors[at(m.parameter)] || m.error;
        anyError = anyError || m.error;
    }
    for (size_t k = 0; k < kParameterCount; ++k) {
        messages_[k]->setText(texts[k].isEmpty() ? helps_[k] : texts[k]);
        messages_[k]->setStyleSheet(texts[k].isEmpty() ? QString()
                                    : errors[k]        ? QStringLiteral("color: #c01c28")
                                                       : QStringLiteral("color: #985700"));
    }
    saveButton()->setEnabled(!anyError && loadError_.isEmpty());
}

void SettingsDialog::startFromMatrix()
{
    if (!matrix_)
        return;
    section_ = formatWMatrixSection(matrix_->cells.data(), matrix_->aLen, matrix_->bLen, scanParameters(text_).lineEnd);
    sectionALen_ = matrix_->aLen;
    sectionBLen_ = matrix_->bLen;
    field(Parameter::Option)->setText(QStringLiteral("1"));
    field(Parameter::ALen)->setText(QString::number(sectionALen_));
    field(Parameter::BLen)->setText(QString::number(sectionBLen_));
    sectionNote_->setText(tr("Save writes the current %1 \u00d7 %2 matrix as the W matrix section, in place of "
                             "whatever follows the tenth line.")
                              .arg(sectionALen_)
                              .arg(sectionBLen_));
    sectionNote_->show();
    check();
}

bool SettingsDialog::save()
{
    const auto values = texts();
    // Apply the changes to the file as it is now, so that edits made
    // elsewhere since the dialog opened are kept.
    std::string current;
    std::string error;
    if (!readParametersFile(path_.toStdString(), current, error)) {
        if (QFileInfo(path_).exists()) {
            saveError_->setText(tr("Not saved: %1").arg(QString::fromStdString(error)));
            saveError_->show();
            return false;
        }
        current = exampleParametersText();
    }
    ParametersEdit edit;
    for (size_t k = 0; k < kParameterCount; ++k)
        if (values[k] != initial_[k])
            edit.values[k] = values[k];
    edit.wMatrixSection = section_;
    const bool changes = std::any_of(edit.values.begin(), edit.values.end(), [](const auto& v) { return v.has_value(); });
    if (!changes && !section_ && !fileMissing_)
        return true; // the file stays untouched
    if (!writeParametersFile(path_.toStdString(), editParameters(current, edit), error)) {
        saveError_->setText(tr("Not saved: %1. The file is as it was.").arg(QString::fromStdString(error)));
        saveError_->show();
        return false;
    }
    emit saved(QString::fromLatin1(kParametersFileName));
    return true;
}

void SettingsDialog::takeLengthsFromList(int n, int m)
{
    helps_[at(Parameter::ALen)] =
        tr("Solve takes %1 from the pattern list (%2 A values and the parity element)").arg(n + 1).arg(n);
    helps_[at(Parameter::BLen)] = tr("Solve takes %1 from the pattern list").arg(m);
    for (const Parameter p : {Parameter::ALen, Parameter::BLen})
        field(p)->setEnabled(false);
    check();
}

} // namespace duolink
