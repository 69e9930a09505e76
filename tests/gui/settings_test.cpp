// Run → Settings… on the real window: what the dialog saves is what the next
// Solve reads, and a training continues from the current matrix.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/support/numtext.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "gui/settingsdialog.h"
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
