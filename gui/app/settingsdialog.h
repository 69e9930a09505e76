// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Run → Settings…: the ten values of the parameters file, checked as they are
// typed, saved by rewriting only their tokens in the file.
#include <QDialog>
#include <QString>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/parameters/paramsfile.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace duolink {

class EngineState;

// The W matrix a Solve or Load Matrix left in the engine: cell (i, j) at
// cells[j + (i - 1) * bLen].
struct CurrentMatrix {
    int aLen = 0;
    int bLen = 0;
    std::vector<double> cells;
};
// The engine's matrix, or nothing before the first Solve or Load Matrix.
std::optional<CurrentMatrix> engineMatrix(const EngineState& engine);

// The example parameters file, built into the program.
std::string exampleParametersText();

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the parameters file of `folder` afresh; when there is none,
    // starts from the example values and creates the file on Save.
    SettingsDialog(const QString& folder, std::optional<CurrentMatrix> matrix, QWidget* parent = nullptr);

    // Empty, or why the file could not be read (the dialog is then of no use).
    const QString& loadError() const { return loadError_; }
    bool fileMissing() const { return fileMissing_; }

    QLineEdit* field(Parameter p) const { return fields_[static_cast<size_t>(p)]; }
    // The value of the simulation line, which the choice `simulationChoice`
    // sets.
    QCheckBox* simulationBox() const { return simulation_; }
    // The named choices of a value with codes (run option, transfer function,
    // simulation); nullptr for the others.
    QComboBox* choice(Parameter p) const { return choices_[static_cast<size_t>(p)]; }
    // The explanation of the value, or the message about it.
    QLabel* message(Parameter p) const { return messages_[static_cast<size_t>(p)]; }
    QPushButton* fromMatrixButton() const { return fromMatrix_; }
    QPushButton* saveButton() const;

    // Writes the file; false (and a message in the dialog) on failure.
    bool save();
    // While the window's list holds pairs of n A values and m B values
    // (another shape than 8 + 8), Solve takes A Len and B Len from the list:
    // their fields say so and are out of use; the file's values stay.
    void takeLengthsFromList(int n, int m);

signals:
    // The file was written.
    void saved(const QString& fileName);

private:
    void load();
    void build();
    void addRow(QGridLayout* grid, int row, Parameter p, const QString& help);
    std::array<std::string, kParameterCount> texts() const;
    void check();
    void startFromMatrix();
    // Puts a combo box of named choices in place of the field of `p` in the
    // grid; the field keeps the value's text.
    void addChoices(QGridLayout* grid, int row, Parameter p, const std::vector<std::pair<QString, QString>>& codes);
    void showChoice(Parameter p);

    std::optional<CurrentMatrix> matrix_;
    QString folder_;
    QString path_;
    std::string text_;
    std::array<std::string, kParameterCount> initial_;
    std::optional<std::string> section_;  // the W matrix section to write
    int sectionALen_ = 0;
    int sectionBLen_ = 0;
    bool fileMissing_ = false;
    bool simulationFile_ = false;
    QString loadError_;

    std::array<QLineEdit*, kParameterCount> fields_{};
    std::array<QLabel*, kParameterCount> messages_{};
    std::array<QString, kParameterCount> helps_;
    std::array<QComboBox*, kParameterCount> choices_{};
    QCheckBox* simulation_ = nullptr;
    QLabel* header_ = nullptr;
    QLabel* sectionNote_ = nullptr;
    QLabel* saveError_ = nullptr;
    QPushButton* fromMatrix_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

} // namespace duolink
