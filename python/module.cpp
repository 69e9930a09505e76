// SPDX-License-Identifier: GPL-3.0-or-later
// duolink._duolink: the engine and the analyses for the Python package
// beside it (python/duolink/__init__.py), which checks its arguments, builds
// the parameters text and gives the results their Python shapes. Everything
// here works on typed values from the core; no text the program wrote is
// read back.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <thread>

#include "core/analysis/analysisrun.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/listtraining.h"
#include "core/analysis/noise.h"
#include "core/predict/exactmatrix.h"
#include "core/analysis/recalltable.h"
#include "core/analysis/shapedrecall.h"
#include "core/patterns/shapedlist.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "core/predict/matrixfile.h"
#include "core/support/atomicwrite.h"
#include "core/support/numtext.h"

namespace py = pybind11;
using namespace duolink;
using namespace duolink::analysis;

namespace {

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Runs `work` on a thread of its own; the calling thread waits without the
// GIL and takes it every 50 ms to let Python run its signal handlers. When
// one raises (Ctrl+C: KeyboardInterrupt), `stop` is set and the work is
// waited for; the handler's exception stays set and true is returned.
template <class Work>
bool runInterruptibly(Work&& work, std::atomic<bool>& stop)
{
    std::exception_ptr failure;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    bool interrupted = false;
    {
        py::gil_scoped_release release;
        std::thread worker([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            finished.set_value();
        });
        while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            py::gil_scoped_acquire acquire;
            if (PyErr_CheckSignals() != 0) {
                interrupted = true;
                stop = true;
                break;
            }
        }
        worker.join();
    }
    if (failure && !interrupted)
        std::rethrow_exception(failure);
    return interrupted;
}

// Asked between presentations, without the GIL: every 50 ms, whether a
// signal handler raised (Ctrl+C: KeyboardInterrupt), which stays pending.
struct SignalPoll {
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    bool raised = false;

    bool operator()()
    {
        const auto now = std::chrono::steady_clock::now();
        if (raised || now < next)
            return raised;
        next = now + std::chrono::milliseconds(50);
        py::gil_scoped_acquire acquire;
        raised = PyErr_CheckSignals() != 0;
        return raised;
    }
};

// Raises the pending exception (the signal handler's) with `partial` on it.
[[noreturn]] void raiseWithPartial(py::object partial)
{
    py::error_already_set error;
    if (py::hasattr(error.value(), "__dict__"))
        error.value().attr("partial") = std::move(partial);
    throw error;
}

// Rows of eight values into pattern vectors, the parity as typed values get it.
PatternPairs pairsOf(const Values& a, const Values& b)
{
    if (a.ndim() != 2 || b.ndim() != 2 || a.shape(1) != 8 || b.shape(1) != 8 || b.shape(0) < a.shape(0))
        throw py::value_error("A and B need rows of 8 values, as many of B as of A");
    const auto av = a.unchecked<2>(), bv = b.unchecked<2>();
    PatternPairs pairs(static_cast<size_t>(av.shape(0)));
    for (py::ssize_t p = 0; p < av.shape(0); ++p) {
        PatternPair& pair = pairs[static_cast<size_t>(p)];
        for (int k = 1; k <= 8; ++k) {
            pair.a[k] = av(p, k - 1);
            pair.b[k] = bv(p, k - 1);
        }
        pair.a[9] = parityOf(pair.a);
        pair.b[9] = parityOf(pair.b);
    }
    return pairs;
}

// A list of any shape from rows of N A values and M B values; the parity is
// added to each A row. Rows of 8 and 8 are read as pairsOf reads them.
ShapedPairs shapedOf(const Values& a, const Values& b)
{
    if (a.ndim() != 2 || b.ndim() != 2 || b.shape(0) < a.shape(0))
        throw py::value_error("A and B need rows of values, as many of B as of A");
    if (a.shape(1) == 8 && b.shape(1) == 8)
        return shapedFromFixed(pairsOf(a, b));
    const auto av = a.unchecked<2>(), bv = b.unchecked<2>();
    ShapedPairs list;
    list.shape = ListShape{static_cast<int>(av.shape(1)), static_cast<int>(bv.shape(1))};
    if (const std::string why = shapeProblem(list.shape); !why.empty())
        throw py::value_error(why);
    for (py::ssize_t p = 0; p < av.shape(0); ++p) {
        std::vector<double>& ap = list.a.emplace_back(static_cast<size_t>(list.shape.aLen()));
        std::vector<double>& bp = list.b.emplace_back(static_cast<size_t>(list.shape.m));
        for (int k = 0; k < list.shape.n; ++k)
            ap[static_cast<size_t>(k)] = av(p, k);
        ap.back() = parityOfValues(ap.data(), list.shape.n);
        for (int k = 0; k < list.shape.m; ++k)
            bp[static_cast<size_t>(k)] = bv(p, k);
    }
    return list;
}

// The A rows (the parity left out) or the B rows of a list of any shape.
py::array_t<double> rowsOf(const ShapedPairs& list, bool bSide)
{
    const int width = bSide ? list.shape.m : list.shape.n;
    py::array_t<double> out({static_cast<py::ssize_t>(list.size()), py::ssize_t{width}});
    auto o = out.mutable_unchecked<2>();
    for (size_t p = 0; p < list.size(); ++p)
        for (int k = 0; k < width; ++k)
            o(static_cast<py::ssize_t>(p), k) = (bSide ? list.b : list.a)[p][static_cast<size_t>(k)];
    return out;
}

JobTexts settingsOf(const std::string& parameters, const std::optional<Values>& simulation)
{
    JobTexts job;
    job.parameters = parameters;
    if (simulation) {
        // The simulation file has the layout of an A data file.
        if (simulation->shape(1) == 8) {
            job.simulation = jobDataText(pairsOf(*simulation, *simulation), false);
        } else {
            const ShapedPairs inputs = shapedOf(*simulation, *simulation);
            job.simulation = shapedDataText(inputs.a, inputs.shape.aLen());
        }
    }
    return job;
}

template <class T>
py::array_t<T> column(const std::vector<T>& values)
{
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

// --- One training ---------------------------------------------------------------

struct Training {
    ListTraining result;
    ShapedPairs list;

    py::array_t<double> cells() const
    {
        const RecallSnapshot& m = result.matrix;
        py::array_t<double> out({py::ssize_t{m.aLen}, py::ssize_t{m.bLen}});
        auto o = out.mutable_unchecked<2>();
        for (int i = 1; i <= m.aLen; ++i)
            for (int j = 1; j <= m.bLen; ++j)
                o(i - 1, j - 1) = m.w[static_cast<size_t>(j + (i - 1) * m.bLen)];
        return out;
    }
    py::dict stats() const
    {
        std::vector<int> presentation, missed, bits;
        std::vector<double> r2, ber;
        std::vector<bool> all;
        for (const PresentationRecord& r : result.stats) {
            presentation.push_back(r.presentation);
            r2.push_back(r.r2);
            missed.push_back(r.missedPairs);
            bits.push_back(r.bitErrors);
            ber.push_back(r.berTotal);
            all.push_back(r.allRecalled);
        }
        py::dict d;
        d["presentation"] = column(presentation);
        d["r2"] = column(r2);
        d["missed_pairs"] = column(missed);
        d["bit_errors"] = column(bits);
        d["ber_total"] = column(ber);
        d["all_recalled"] = py::array(py::cast(all)).attr("astype")("bool");
        return d;
    }
    py::array_t<double> recall(const Values& a) const
    {
        const ShapedPairs inputs = shapedOf(a, a);
        const int width = list.shape.m;
        py::array_t<double> out({static_cast<py::ssize_t>(inputs.size()), py::ssize_t{width}});
        auto o = out.mutable_unchecked<2>();
        {
            py::gil_scoped_release release;
            Recaller recaller(result.matrix);
            for (size_t p = 0; p < inputs.size(); ++p) {
                const std::vector<double> r = recaller.recallValues(inputs.a[p]);
                for (int j = 0; j < width && j < static_cast<int>(r.size()); ++j)
                    o(static_cast<py::ssize_t>(p), j) = r[static_cast<size_t>(j)];
            }
        }
        return out;
    }
};

std::unique_ptr<Training> train(const Values& a, const Values& b, const std::string& parameters,
                                 const std::optional<Values>& simulation, const std::string& report)
{
    auto training = std::make_unique<Training>();
    training->list = shapedOf(a, b);
    const JobTexts job = shapedJob(training->list, settingsOf(parameters, simulation));
    // A single training runs on the calling thread, which starting a thread
    // for it would cost more than a small list's training: it takes the GIL
    // every 50 ms to let Python's signal handlers run (Python runs them on
    // its main thread only; elsewhere nothing is raised).
    SignalPoll poll;
    {
        py::gil_scoped_release release;
        training->result = trainList(job, nullptr, report, [&] { return poll(); });
    }
    if (poll.raised)
        raiseWithPartial(py::cast(std::move(training)));
    return training;
}

// The recall table of a list of any shape; for 8 + 8 the fixed table's rows.
analysis::ShapedRecallTable recallTableFor(const RecallSnapshot& snapshot, const ShapedPairs& list, double tol)
{
    if (!list.shape.fixed())
        return analysis::shapedRecallTable(snapshot, list, tol);
    analysis::ShapedRecallTable table;
    table.tol = tol;
    for (const RecallRow& row : recallTable(snapshot, fixedFromShaped(list), tol).rows)
        table.rows.push_back({row.pair, {row.a.begin() + 1, row.a.end()}, {row.b.begin() + 1, row.b.begin() + 9},
                              {row.recalled.begin(), row.recalled.end()}, row.score});
    return table;
}

py::dict recallTableOf(const Training& t, const Values& a, const Values& b, double tol)
{
    const ShapedPairs list = shapedOf(a, b);
    analysis::ShapedRecallTable table;
    {
        py::gil_scoped_release release;
        table = recallTableFor(t.result.matrix, list, tol);
    }
    const int widths[3] = {list.shape.n, list.shape.m, list.shape.m};
    std::vector<int> pair, outside, nearest;
    std::vector<std::vector<double>> values[3];
    for (int s = 0; s < 3; ++s)
        values[s].resize(static_cast<size_t>(widths[s]));
    std::vector<double> maxError;
    std::vector<std::uint8_t> recalled, own;
    for (const analysis::ShapedRecallRow& row : table.rows) {
        pair.push_back(row.pair);
        const std::vector<double>* sides[3] = {&row.a, &row.b, &row.recalled};
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < widths[s]; ++k)
                values[s][static_cast<size_t>(k)].push_back((*sides[s])[static_cast<size_t>(k)]);
        maxError.push_back(row.score.maxError);
        outside.push_back(row.score.outsideTol);
        recalled.push_back(row.recalledWithinTol());
        nearest.push_back(row.score.nearest);
        own.push_back(row.nearestOwn());
    }
    py::dict d;
    d["pair"] = column(pair);
    for (int s = 0; s < 3; ++s)
        for (int k = 0; k < widths[s]; ++k)
            d[py::str(std::string(1, "abr"[s]) + std::to_string(k + 1))] = column(values[s][static_cast<size_t>(k)]);
    d["max_error"] = column(maxError);
    d["outside_tol"] = column(outside);
    d["recalled"] = column(recalled);
    d["nearest"] = column(nearest);
    d["nearest_own"] = column(own);
    table.shape = list.shape;
    d["csv"] = analysis::shapedRecallTableCsv(table);
    return d;
}

py::dict noiseOf(const Training& t, const Values& a, const Values& b, NoiseOptions options, unsigned jobs)
{
    const ShapedPairs list = shapedOf(a, b);
    std::optional<NoiseTable> table;
    NoiseTable finished; // the levels done when a stop ends the run
    WorkProgress progress;
    const bool interrupted = runInterruptibly(
        [&] {
            const ThreadPool pool(jobs);
            table = noiseTable(t.result.matrix, list, options, pool, &progress, &finished);
        },
        progress.stop);
    if (!table)
        table = std::move(finished);
    py::dict d;
    std::vector<double> level;
    std::vector<long long> recalls, within, own, outside;
    py::list modes;
    if (table)
        for (const NoiseRow& row : table->rows) {
            modes.append(table->mode == NoiseMode::Gauss ? "gauss" : row.sampled ? "flip-sampled" : "flip");
            level.push_back(row.level);
            recalls.push_back(row.recalls);
            within.push_back(row.withinTol);
            own.push_back(row.nearestOwn);
            outside.push_back(row.outsideTolElements);
        }
    d["mode"] = modes;
    d["level"] = column(level);
    d["recalls"] = column(recalls);
    d["within_tol"] = column(within);
    d["nearest_own"] = column(own);
    d["outside_tol_elements"] = column(outside);
    d["csv"] = table ? noiseTableCsv(*table) : std::string();
    if (interrupted)
        raiseWithPartial(d);
    return d;
}

// --- Capacity and sweeps ----------------------------------------------------------------

py::dict rowColumns(const AnalysisRun& run)
{
    std::vector<int> row, presentations, missed, recalled, own;
    std::vector<double> r2;
    py::list outcome;
    for (const AnalysisRow& r : run.rows) {
        row.push_back(static_cast<int>(r.row));
        outcome.append(std::string(outcomeName(r.result.outcome)));
        presentations.push_back(r.result.presentations);
        r2.push_back(r.result.finalR2Value);
        missed.push_back(r.result.missedLast);
        recalled.push_back(r.result.recall.recalled);
        own.push_back(r.result.recall.nearestOwn);
    }
    py::dict d;
    d["row"] = column(row);
    d["outcome"] = outcome;
    d["presentations"] = column(presentations);
    d["final_r2"] = column(r2);
    d["missed_last"] = column(missed);
    d["recalled"] = column(recalled);
    d["nearest_own"] = column(own);
    d["stopped"] = run.stopped;
    return d;
}

AnalysisRun runAnalysis(const std::function<AnalysisRun(const ThreadPool&, WorkProgress&)>& body, unsigned jobs,
                        const std::function<py::dict(const AnalysisRun&)>& present)
{
    AnalysisRun run;
    WorkProgress progress;
    const bool interrupted = runInterruptibly(
        [&] {
            keepFreedMemoryForReuse();
            const ThreadPool pool(jobs);
            run = body(pool, progress);
        },
        progress.stop);
    if (interrupted)
        raiseWithPartial(present(run));
    return run;
}

py::dict capacity(const std::string& parameters, const std::optional<Values>& simulation, CapacityOptions options,
                  unsigned jobs, Shard shard)
{
    const JobTexts settings = settingsOf(parameters, simulation);
    const auto present = [&](const AnalysisRun& run) {
        py::dict d = rowColumns(run);
        std::vector<int> n, set;
        for (const AnalysisRow& r : run.rows) {
            n.push_back(capacityPairs(options, r.row));
            set.push_back(capacitySet(options, r.row));
        }
        d["n"] = column(n);
        d["set"] = column(set);
        d["csv"] = capacityCsv(options, run);
        return d;
    };
    const AnalysisRun run = runAnalysis(
        [&](const ThreadPool& pool, WorkProgress& progress) {
            return runCapacity(options, settings, shard, pool, progress);
        },
        jobs, present);
    return present(run);
}

std::vector<SweepAxis> sweepAxes(const std::vector<std::string>& texts)
{
    std::vector<SweepAxis> axes;
    for (const std::string& text : texts) {
        try {
            axes.push_back(parseSweepAxis(text));
        } catch (const SweepAxisError& e) {
            throw py::value_error(e.what());
        }
        for (size_t k = 0; k + 1 < axes.size(); ++k)
            if (axes[k].parameter == axes.back().parameter)
                throw py::value_error(axes.back().name + " is swept twice");
    }
    if (axes.empty())
        throw py::value_error("a sweep needs at least one parameter to sweep");
    if (gridCellCount(axes) > kMaxGridCells)
        throw py::value_error("the sweep grid has more than " + std::to_string(kMaxGridCells) + " cells");
    return axes;
}

py::dict sweep(const Values& a, const Values& b, const std::string& parameters,
               const std::optional<Values>& simulation, const std::vector<std::string>& axisTexts, unsigned jobs,
               Shard shard)
{
    const std::vector<SweepAxis> axes = sweepAxes(axisTexts);
    const ShapedPairs list = shapedOf(a, b);
    const JobTexts settings = settingsOf(parameters, simulation);
    const auto present = [&](const AnalysisRun& run) {
        py::dict d = rowColumns(run);
        py::list names;
        for (size_t k = 0; k < axes.size(); ++k) {
            const Parameter p = static_cast<Parameter>(axes[k].parameter);
            std::vector<double> values;
            for (const AnalysisRow& r : run.rows) {
                double v = 0;
                parameterValue(p, cellValue(axes, r.row, k), v);
                values.push_back(v);
            }
            names.append(axes[k].name);
            d[py::str(axes[k].name)] = column(values);
        }
        d["axes"] = names;
        d["csv"] = sweepCsv(axes, run);
        return d;
    };
    const AnalysisRun run = runAnalysis(
        [&](const ThreadPool& pool, WorkProgress& progress) {
            return runSweep(axes, list, settings, shard, pool, progress);
        },
        jobs, present);
    return present(run);
}

// --- Files ------------------------------------------------------------------------------

py::tuple readPatterns(const std::string& path)
{
    try {
        const ShapedPairs pairs = readShapedListFile(path, path);
        return py::make_tuple(rowsOf(pairs, false), rowsOf(pairs, true));
    } catch (const PatternListError& e) {
        throw py::value_error(e.what());
    }
}

void writePatterns(const std::string& path, const Values& a, const Values& b)
{
    std::string text;
    try {
        text = shapedListText(shapedOf(a, b));
    } catch (const PatternListError& e) {
        throw py::value_error(e.what());
    }
    if (const int error = replaceFile(path, text))
        throwIoError(error, path);
}

// The 9 x 8 block of raw cells, as Load Matrix and Save Matrix see it.
py::array_t<double> readMatrix(const std::string& path)
{
    EngineState engine;
    withFileContext(path, [&] { loadMatrixFile(engine, path); });
    py::array_t<double> out({py::ssize_t{9}, py::ssize_t{8}});
    auto o = out.mutable_unchecked<2>();
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            o(i - 1, j - 1) = engine.state().wMatrix[static_cast<size_t>(engine.cellIndex(i, j))];
    return out;
}

// The exact matrix export (a CSV and its FILE.json), as Import Matrix reads
// it: the whole A Len x B Len matrix of raw cells.
py::array_t<double> readExactMatrix(const std::string& path)
{
    EngineState engine;
    withFileContext(path, [&] { importMatrixFile(engine, path); });
    const EngineStateData& state = engine.state();
    py::array_t<double> out({py::ssize_t{state.aLen}, py::ssize_t{state.bLen}});
    auto o = out.mutable_unchecked<2>();
    for (int i = 1; i <= state.aLen; ++i)
        for (int j = 1; j <= state.bLen; ++j)
            o(i - 1, j - 1) = state.wMatrix[static_cast<size_t>(engine.cellIndex(i, j))];
    return out;
}

// Writes `cells` as Export Matrix does, UNITY in the sidecar.
void writeExactMatrix(const std::string& path, const Values& cells, int unity)
{
    const auto c = cells.unchecked<2>();
    if (c.shape(0) < 1 || c.shape(1) < 1 || c.shape(0) * c.shape(1) > kMatrixCells)
        throw py::value_error("the matrix has the shape (" + std::to_string(c.shape(0)) + ", " +
                              std::to_string(c.shape(1)) + "); an exported matrix holds 1 to " +
                              std::to_string(kMatrixCells) + " cells");
    EngineState engine;
    engine.setPatternLengths(static_cast<int>(c.shape(0)), static_cast<int>(c.shape(1)));
    engine.setUnity(unity);
    for (int i = 1; i <= engine.state().aLen; ++i)
        for (int j = 1; j <= engine.state().bLen; ++j)
            engine.setWeight(engine.cellIndex(i, j), c(i - 1, j - 1));
    withFileContext(path, [&] { exportMatrixFile(engine, path); });
}

void writeMatrix(const std::string& path, const Values& cells)
{
    EngineState engine;
    engine.useWindowShapeBeforeAnyJob();
    const auto c = cells.unchecked<2>();
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            engine.setWeight(engine.cellIndex(i, j), c(i - 1, j - 1));
    withFileContext(path, [&] { saveMatrixFile(engine, path); });
}

py::dict readParameters(const std::string& text)
{
    const ParameterValues values = readParameterValues(text);
    py::dict d;
    for (int k = 0; k < kParameterCount; ++k) {
        const Parameter p = static_cast<Parameter>(k);
        const double value = values.value[static_cast<size_t>(k)];
        const py::str name(std::string(parameterInfo(p).name));
        if (parameterInfo(p).integer)
            d[name] = static_cast<long long>(value);
        else
            d[name] = value;
    }
    return d;
}

void checkParameter(const std::string& name, const std::string& text)
{
    const std::optional<Parameter> p = parameterByName(name);
    double value = 0;
    if (!p)
        throw py::value_error("\"" + name + "\" is no parameter");
    if (!parameterValue(*p, text, value))
        throw py::value_error("\"" + text + "\" is not " +
                              (parameterInfo(*p).integer ? "a whole number" : "a number") + " for " + name);
}

// A file that cannot be read or written is an OSError with the system's
// errno where there is one; a file whose content is refused, a ValueError.
// Both say which file, as the program's messages do.
void translateErrors()
{
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const RunError& e) {
            const std::string message = e.file().empty() ? e.what() : e.file() + ": " + e.what();
            // Not a folder or a regular file: no errno of the system's.
            const int error = e.systemError() == kNotRegularFile ? EINVAL : e.systemError();
            if (error != 0)
                PyErr_SetObject(PyExc_OSError, py::make_tuple(error, message).ptr());
            else
                PyErr_SetString(PyExc_ValueError, message.c_str());
        } catch (const PatternListError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const std::bad_alloc&) {
            PyErr_SetString(PyExc_MemoryError, kOutOfMemory);
        }
    });
}

void defineTraining(py::module_& m)
{
    py::class_<Training>(m, "Training")
        .def_property_readonly("outcome", [](const Training& t) { return std::string(outcomeName(t.result.outcome)); })
        .def_property_readonly("stopped", [](const Training& t) { return t.result.stopped; })
        .def_property_readonly("presentations", [](const Training& t) { return t.result.presentations; })
        .def_property_readonly("final_r2", [](const Training& t) { return t.result.finalR2; })
        .def_property_readonly("final_r2_text", [](const Training& t) { return t.result.finalR2Text; })
        .def_property_readonly("missed_pairs", [](const Training& t) { return t.result.missedLast; })
        .def_property_readonly("failure", [](const Training& t) { return t.result.failure; })
        .def_property_readonly("unity", [](const Training& t) { return t.result.unity; })
        .def_property_readonly("tol", [](const Training& t) { return t.result.tol; })
        .def_property_readonly("cells", &Training::cells)
        .def_property_readonly("stats", &Training::stats)
        .def_property_readonly("a", [](const Training& t) { return rowsOf(t.list, false); })
        .def_property_readonly("b", [](const Training& t) { return rowsOf(t.list, true); })
        .def("recall", &Training::recall)
        .def("recall_table", &recallTableOf)
        .def("noise", [](const Training& t, const Values& a, const Values& b, std::vector<double> sigmas, int trials,
                         std::uint64_t seed, double tol, unsigned jobs) {
            NoiseOptions options;
            options.sigmas = std::move(sigmas);
            options.trials = trials;
            options.seed = seed;
            options.tol = tol;
            return noiseOf(t, a, b, options, jobs);
        });
}

} // namespace

PYBIND11_MODULE(_duolink, m)
{
    m.doc() = "The engine and analyses behind the duolink package; use the package.";
    m.attr("version") = DUOLINK_VERSION;
    translateErrors();
    m.attr("max_pairs") = kPatternCapacity;
    m.attr("max_capacity_pairs") = kMaxCapacityPairs;
    m.def("shape_problem", [](int n, int m) { return shapeProblem(ListShape{n, m}); });

    defineTraining(m);

    m.def("train", &train);
    m.def("capacity", [](const std::string& parameters, const std::optional<Values>& simulation, int pairs, int sets,
                         double density, std::uint64_t seed, unsigned jobs, int shardIndex, int shardCount, int n,
                         int m) {
        const CapacityOptions options{pairs, sets, density, seed, ListShape{n, m}};
        if (const std::string why = shapeProblem(options.shape); !why.empty())
            throw py::value_error("shape: " + why);
        return capacity(parametersForShape(parameters, options.shape), simulation, options, jobs,
                        Shard{shardIndex, shardCount});
    });
    m.def("sweep", [](const Values& a, const Values& b, const std::string& parameters,
                      const std::optional<Values>& simulation, const std::vector<std::string>& axes, unsigned jobs,
                      int shardIndex, int shardCount) {
        return sweep(a, b, parameters, simulation, axes, jobs, Shard{shardIndex, shardCount});
    });
    m.def("read_patterns", &readPatterns);
    m.def("write_patterns", &writePatterns);
    m.def("read_matrix", &readMatrix);
    m.def("write_matrix", &writeMatrix);
    m.def("read_exact_matrix", &readExactMatrix);
    m.def("write_exact_matrix", &writeExactMatrix);
    m.def("read_parameters", &readParameters);
    m.def("check_parameter", &checkParameter);
    m.def("field_text", [](double value) { return fieldValueText(value); });
    m.def("parse_shard", [](const std::string& text) -> std::optional<std::pair<int, int>> {
        const std::optional<Shard> s = parseShard(text);
        if (!s)
            return std::nullopt;
        return std::pair{s->index, s->count};
    });
}
