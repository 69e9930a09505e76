// SPDX-License-Identifier: GPL-3.0-or-later
// Run → Settings… on the real window: what the dialog saves is what the next
// Solve reads, and a training continues from the current matrix.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/support/numtext.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "app/settingsdialog.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
namespace fs = std::filesystem;

namespace {

const fs::path kExample = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / "veld200gSetup.dat";

using duolink::testing::readFile;

class SettingsInWindow : public WindowInWorkFolder {
protected:
    SettingsDialog* openSettings()
    {
        // A dialog closed before is gone.
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui->settingsAction->trigger();
        auto* dialog = form->findChild<SettingsDialog*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    void set(SettingsDialog* dialog, Parameter p, const QString& text)
    {
        dialog->field(p)->selectAll();
        testinput::type(dialog->field(p), text);
    }
    void addPairs()
    {
        // Four pairs of the example set: each B pattern is its A pattern backwards.
        const char* const a[4] = {"11000000", "00110000", "00001100", "00000011"};
        for (const char* pattern : a) {
            for (int f = 0; f < 8; ++f) {
                dataField(f)->setText(QString(QChar(pattern[f])));
                dataField(8 + f)->setText(QString(QChar(pattern[7 - f])));
            }
            ui->Button1->click();
        }
    }
};

} // namespace

TEST_F(SettingsInWindow, SavedValuesAreWhatTheNextSolveReads)
{
    const std::string original = readFile(kExample);
    std::string crlf;
    for (char c : original)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(dir / kParametersFileName, std::ios::binary) << crlf;
    addPairs();

    SettingsDialog* dialog = openSettings();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->field(Parameter::Beta)->text(), "0.5");
    EXPECT_FALSE(dialog->fromMatrixButton()->isEnabled()); // no matrix yet

    // Checked as typed: an error keeps the file from being saved.
    set(dialog, Parameter::BLen, "300");
    EXPECT_FALSE(dialog->saveButton()->isEnabled());
    EXPECT_EQ(dialog->message(Parameter::BLen)->text(), "From 1 to 128.");
    set(dialog, Parameter::BLen, "8");
    set(dialog, Parameter::Unity, "1000");
    EXPECT_TRUE(dialog->saveButton()->isEnabled());
    EXPECT_EQ(dialog->message(Parameter::Unity)->text(), "Predict works in UNITY 10000.");
    set(dialog, Parameter::Unity, "10000");
    set(dialog, Parameter::Max, "3");
    set(dialog, Parameter::Beta, ".25");
    set(dialog, Parameter::Tol, "5e-2");
    dialog->saveButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(form->findChild<SettingsDialog*>(), nullptr);

    // Only the three tokens changed; the comments and CR LF stay.
    ParametersEdit edit;
    edit.set(Parameter::Max, "3");
    edit.set(Parameter::Beta, ".25");
    edit.set(Parameter::Tol, "5e-2");
    EXPECT_EQ(readFile(dir / kParametersFileName), editParameters(crlf, edit));

    bool disabledDuringRun = false;
    QObject::connect(form.get(), &TForm2::runStarted, [&] { disabledDuringRun = !ui->settingsAction->isEnabled(); });
    ui->Button6->click();
    waitForRun();
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(disabledDuringRun);
    const std::string report = readFile(dir / kReportFileName);
    EXPECT_NE(report.find("MAX Presentations: 3\r\n"), std::string::npos);
    EXPECT_NE(report.find("BETA    = " + longExpText(0.25) + "\r\n"), std::string::npos);
    EXPECT_NE(report.find("TOL     = " + longExpText(0.05) + "\r\n"), std::string::npos);
}

TEST_F(SettingsInWindow, MissingFileIsCreatedAndATrainingContinuesFromTheMatrix)
{
    SettingsDialog* dialog = openSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->fileMissing());
    dialog->saveButton()->click();
    EXPECT_EQ(readFile(dir / kParametersFileName), readFile(kExample));

    addPairs();
    ui->Button6->click();
    waitForRun();
    ASSERT_TRUE(fake.calls.empty());
    const CurrentMatrix trained = *engineMatrix(engine());

    dialog = openSettings();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->simulationBox()->isChecked());
    EXPECT_TRUE(dialog->message(Parameter::Simulation)->text().endsWith("it is not in the folder"));
    ASSERT_TRUE(dialog->fromMatrixButton()->isEnabled());
    dialog->fromMatrixButton()->click();
    EXPECT_EQ(dialog->field(Parameter::Option)->text(), "1");
    EXPECT_EQ(dialog->message(Parameter::Option)->text().left(2), "1:");
    dialog->saveButton()->click();

    const std::string text = readFile(dir / kParametersFileName);
    const ParameterValues values = readParameterValues(text);
    EXPECT_EQ(values[Parameter::Option], 1);
    EXPECT_TRUE(hasWMatrixSection(text, scanParameters(text), 9, 8));

    // The next Solve starts from that matrix: the report echoes it.
    ui->Button6->click();
    waitForRun();
    ASSERT_TRUE(fake.calls.empty());
    std::string echo = "W Matrix \r\n";
    for (int i = 1; i <= 9; ++i) {
        for (int j = 1; j <= 8; ++j)
            appendExpText(echo, trained.cells[j + (i - 1) * 8], 15);
        echo += "\r\n";
    }
    EXPECT_NE(readFile(dir / kReportFileName).find(echo), std::string::npos);
}

// The box shows the simulation pass as the engine reads the file's value,
// and a save that does not touch it keeps the value as it was written.
TEST_F(SettingsInWindow, SimulationBoxShowsWhatTheEngineReads)
{
    for (const char* value : {"01", "+1", "1", "0", "2"}) {
        SCOPED_TRACE(value);
        ParametersEdit edit;
        edit.set(Parameter::Simulation, value);
        const std::string text = editParameters(readFile(kExample), edit);
        std::ofstream(dir / kParametersFileName, std::ios::binary) << text;
        SettingsDialog* dialog = openSettings();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->simulationBox()->isChecked(), simulationOn(value));
        dialog->reject();
    }
}

// Values with codes are picked by name, LIMIT is shown as unused, and a
// decimal comma is named as the main window names it.
TEST_F(SettingsInWindow, CodesArePickedByNameAndLimitIsShownUnused)
{
    std::ofstream(dir / kParametersFileName) << "7\n100\n9\n8\n1\n0.5\n0.001\n2\n10000\n0.1\n";
    SettingsDialog* dialog = openSettings();
    ASSERT_TRUE(dialog);
    const struct {
        Parameter p;
        QString shown;
        int pick;
        QString picked;
    } cases[] = {
        {Parameter::Option, "7 \u2014 not one of the codes", 2, "2 \u2014 PFM: start from the patterns"},
        {Parameter::Transfer, "2 \u2014 linear", 0, "1 \u2014 nonlinear squashing"},
        {Parameter::Simulation, "1 \u2014 feed nutest.dat through the matrix", 0, "0 \u2014 off"},
    };
    for (const auto& c : cases) {
        QComboBox* box = dialog->choice(c.p);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->currentText(), c.shown);
        box->setCurrentIndex(c.pick);
        emit box->activated(c.pick);
        EXPECT_EQ(box->currentText(), c.picked);
    }
    EXPECT_EQ(dialog->choice(Parameter::Option)->count(), 4) << "the odd code is gone once another is picked";
    EXPECT_EQ(dialog->field(Parameter::Option)->text(), "2");
    EXPECT_EQ(dialog->field(Parameter::Transfer)->text(), "1");
    EXPECT_FALSE(dialog->simulationBox()->isChecked());
    EXPECT_EQ(dialog->choice(Parameter::Beta), nullptr);
    EXPECT_FALSE(dialog->field(Parameter::Limit)->isEnabled());
    EXPECT_TRUE(dialog->message(Parameter::ALen)->text().contains("parity"));

    set(dialog, Parameter::Beta, "0,5");
    EXPECT_EQ(dialog->message(Parameter::Beta)->text(), "Not a number (decimal comma?).");
    EXPECT_FALSE(dialog->saveButton()->isEnabled());
    set(dialog, Parameter::Beta, "0.25");
    ASSERT_TRUE(dialog->saveButton()->isEnabled());
    dialog->saveButton()->click();
    EXPECT_EQ(readFile(dir / kParametersFileName), "2\n100\n9\n8\n0\n0.25\n0.001\n1\n10000\n0.1\n");
}
