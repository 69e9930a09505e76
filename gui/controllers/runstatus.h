// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window shows while a Solve trains: the presentation it is
// in, in the status bar, and its buttons greyed out, since they take no
// input until the run ends.
#include <QObject>
#include <QString>

#include <QList>
#include <QPointer>

class QPushButton;
class QStatusBar;
class QTimer;

namespace duolink {

class TForm2;
class TrainingRecorder;
struct TrainingData;

// "Training: presentation 2374 of 10000"; empty before the first one starts.
QString runStatusText(const TrainingData& data);

class RunStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 200;

    RunStatus(TForm2* form, const TrainingRecorder& recorder, QStatusBar* bar);

private:
    void started();
    void finished();
    void update();

    TForm2* form_;
    const TrainingRecorder& recorder_;
    QStatusBar* bar_;
    QTimer* timer_;
    QList<QPointer<QPushButton>> greyed_;
    QPointer<QWidget> focus_;
};

} // namespace duolink
