// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/usage.h"

#include <utility>

namespace duolink::batch {

namespace {

constexpr const char* kName = "duolink-batch";
constexpr const char* kSummary = "train and recall Duolink pattern associations without the window";

// Paragraphs of the description; the text is filled to the line width.
const char* const kDescription[] = {
    "Runs the job in DIR (default: the current folder) as the window's Solve "
    "would, on the job files already there: adata200.dat, bdata200.dat and "
    "veld200gSetup.dat. The report vld33res.txt is written there, and every "
    "line the window would show in its text pane goes to standard output.",
    "Then --load-matrix, --predict, --save-matrix, --export-matrix, --import-matrix, --recall-table and --noise run in "
    "the order given, "
    "each as often as it is given, on the same trained matrix. Before any job has set the pattern lengths they work on "
    "the window's shape, nine A values by eight B values.",
    "Relative FILE names are taken from the folder the runner was started in, "
    "not from DIR. An option's value may also be given as --option=VALUE, and "
    "-- ends the options, for a DIR that starts with a dash.",
    "At the end two lines go to standard error: \"R2 Correlation: \" with the "
    "text of the R2 field and \"Progress: \" with the progress bar's final "
    "position. While a job runs with standard output redirected, a live "
    "progress line is shown when standard error is a terminal.",
    "One run at a time may use a folder: a run that solves locks DIR until it "
    "ends, and the system releases the lock when a run crashes.",
    "Each FILE that --capacity or --sweep-out writes gets FILE.json beside it: the program's version, the command, "
    "the parameters as read, the options, the list's SHA-256, the times and the rows by outcome. "
    "duolink-batch --replay FILE.json [OUT] runs that analysis again and writes its rows to OUT (standard output "
    "when not given); it refuses when the list is no longer the one it was made from. While an analysis runs, a "
    "progress line (rows done, rate, time left) is shown when standard error is a terminal, unless --quiet is given.",
};

const std::vector<OptionDoc> kOptions = {
    {OptionId::Patterns, "--patterns", "FILE",
     "Before the job, write adata200.dat and bdata200.dat in DIR from the "
     "pattern list FILE (.csv, one pair of eight A and eight B values a line), "
     "as the window's Solve would for that list. A header a1,...,aN,b1,...,bM "
     "gives pairs of other lengths, which set alen to N+1 and blen to M for the "
     "run. A bad FILE is a usage error and writes nothing."},
    {OptionId::Set, "--set", "NAME=VALUE",
     "Run the Solve as if veld200gSetup.dat held VALUE as the first word of "
     "the line NAME names; the file is not written, and the report shows the "
     "value used. NAME is option, max, alen, blen, simulation, beta, limit, "
     "transfer, unity or tol. VALUE is a whole number for option, max, alen, "
     "blen, simulation, transfer and unity, and a number (\"0.25\", \"5e-2\") "
     "for beta, limit and tol. May be given for several names; for one name "
     "the last counts. A bad NAME or VALUE is a usage error. --capacity and "
     "--sweep-out train with the same edited parameters."},
    {OptionId::NoSolve, "--no-solve", nullptr, "Skip the Solve."},
    {OptionId::LoadMatrix, "--load-matrix", "FILE",
     "Load a matrix file (.vmat2) as Load Matrix does, and list it."},
    {OptionId::Predict, "--predict", "\"V1 ... V8\"",
     "Recall a B pattern from eight A values, given in one argument, as Predict "
     "does. Each value must be a number (\"1\", \"-0.5\", \"2e-3\"); anything else "
     "is a usage error. Prints the pane lines and then \"B:\" followed by the "
     "eight B values as the window shows them, each 9 characters wide and "
     "preceded by one blank, so the line splits on blanks even when a value "
     "fills its field."},
    {OptionId::SaveMatrix, "--save-matrix", "FILE",
     "Save the matrix block as Save Matrix does. The file is replaced only once "
     "the new one is complete. It keeps two significant digits of each value; "
     "--export-matrix keeps them all."},
    {OptionId::ExportMatrix, "--export-matrix", "FILE",
     "Write the whole matrix (A Len rows of B Len cells) as CSV, each cell exactly as "
     "stored, and FILE.json beside it with the shape and UNITY."},
    {OptionId::ImportMatrix, "--import-matrix", "FILE",
     "Read a matrix that --export-matrix wrote: the same matrix, bit for bit."},
    {OptionId::RecallTable, "--recall-table", "FILE",
     "Recall the B pattern of every pair of the job's list (the job files, or "
     "the --patterns list) as Predict does, on a copy of the matrix, and write "
     "one CSV line per pair: pair, a1..a8, b1..b8, r1..r8 (a1..aN, b1..bM, r1..rM "
     "for a --patterns list of N + M values; the recalled values "
     "as the B fields show them, without padding), max_error, outside_tol (the "
     "elements further than TOL from b), recalled (1 when none is), nearest "
     "(the list position of the stored B closest to the recall) and "
     "nearest_own (1 when that is the pair's own). Needs a Solve or an earlier "
     "--load-matrix."},
    {OptionId::Noise, "--noise", "FILE",
     "Recall damaged A patterns of the job's list and write one CSV line per "
     "level: mode, level, recalls, within_tol, nearest_own, "
     "outside_tol_elements. When every A value is 0 or 1 the mode is flip: "
     "for level k = 0..8 (0..N for pairs of N A values) every set of k of the A "
     "values of every pair is flipped; a level of more than 2^20 such sets per "
     "pair is drawn instead, --noise-trials sets per pair from the --seed "
     "generator, and its mode is flip-sampled. Otherwise the mode is gauss: normal noise of standard "
     "deviation level is added to every A value, --noise-trials times per "
     "pair, from the --seed generator. Needs a Solve or an earlier "
     "--load-matrix."},
    {OptionId::NoiseSigma, "--noise-sigma", "LIST",
     "The standard deviations for gauss mode, separated by commas "
     "(default 0,0.05,0.1,0.2,0.3,0.5)."},
    {OptionId::NoiseTrials, "--noise-trials", "N",
     "Trials per pair and standard deviation, 1 to 1000000 (default 100)."},
    {OptionId::Seed, "--seed", "S",
     "The seed of the --noise generator and of the --capacity sets, 0 to "
     "18446744073709551615 (default 1). The same seed gives the same output on "
     "any machine and thread count."},
    {OptionId::Tol, "--tol", "X",
     "The tolerance of --recall-table and --noise; default the TOL that the "
     "Solve read. Needed with --no-solve."},
    {OptionId::Quiet, "--quiet", nullptr,
     "Print no pane lines. The report, the \"B:\" lines and the status lines "
     "are written as usual."},
    {OptionId::Stats, "--stats", "FILE",
     "Write one CSV line per presentation to FILE as the run goes, flushed "
     "line by line: presentation, r2, missed_pairs, bit_errors, ber_total, "
     "all_recalled. A run that ends early leaves the lines of the "
     "presentations it made."},
    {OptionId::Capacity, "--capacity", "FILE",
     "Instead of the Solve, train random sets of n = 1 .. N pairs of 0/1 "
     "patterns, T sets per n, in memory with the parameters of DIR (and "
     "--set), and write one CSV row per set to FILE: "
     "n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own. "
     "Each training is the one the runner would make with --patterns on that "
     "set. A summary per n goes to standard output. FILE - writes the rows to "
     "standard output instead, without the summary."},
    {OptionId::CapacityPairs, "--capacity-pairs", "N", "Largest set size for --capacity, 1 to 256 (default 64)."},
    {OptionId::CapacitySets, "--capacity-sets", "T", "Sets per size for --capacity (default 20)."},
    {OptionId::CapacityShape, "--capacity-shape", "N,M",
     "The shape of the --capacity sets: N A values before the parity (A Len = N + 1) "
     "and M B values; A Len and B Len are set from it as --patterns sets them "
     "(default 8,8). N + 1 and M at most 128, (N + 1) x M at most 2700."},
    {OptionId::Density, "--density", "P", "Chance of a 1 in the --capacity sets, 0 to 1 (default 0.5)."},
    {OptionId::KeepSets, "--keep-sets", "DIR2",
     "Also write --capacity set t of n pairs as the pattern list DIR2/n<n>-s<t>.csv, "
     "each under a temporary name until it is complete. DIR2 is made when missing; "
     "FILE may not have a kept set's name there."},
    {OptionId::Sweep, "--sweep", "NAME=LIST",
     "A parameter to sweep: NAME as for --set, LIST as a,b,c or start:stop:step "
     "(exact decimal steps; a range that cannot be stepped exactly is refused). "
     "Repeat for a grid of at most 1000000 cells; the first is outermost."},
    {OptionId::SweepOut, "--sweep-out", "FILE",
     "Instead of the Solve, train the job's list (or --patterns FILE, without "
     "writing job files) once per grid cell in memory and write one CSV row "
     "per cell to FILE: the swept values, then "
     "outcome,presentations,final_r2,missed_last,recalled,nearest_own."},
    {OptionId::Jobs, "--jobs", "N", "Threads for the analyses (default: all cores). The output is the same for every N."},
    {OptionId::Shard, "--shard", "K/N",
     "Compute only rows K, K+N, K+2N, ... of an analysis. The rows of shards "
     "1 .. N, without their headers and sorted by their first columns, are "
     "the rows of the whole run."},
    {OptionId::Help, "--help", nullptr, "Print this help and exit."},
    {OptionId::Version, "--version", nullptr, "Print the version and exit."},
};

const std::pair<int, const char*> kStatuses[] = {
    {kExitOk, "The job ran (also when it stopped at its presentation limit)."},
    {kExitUsage, "Usage error: nothing was run."},
    {kExitTerminated,
     "An input error terminated the job. \"job terminated: \" and the reason "
     "from vld33res.txt go to standard error."},
    {kExitError,
     "A file or arithmetic error, or standard output could not be written; "
     "\"error: \", the step, its file and the message go to standard error. "
     "A reader that closes standard output early is no error."},
    {kExitFolderInUse, "Another run is using DIR; nothing was run."},
    {kExitStopped,
     "Stopped by SIGINT, SIGTERM or SIGHUP (a closed terminal): the run "
     "finished the presentation it was in, wrote \"*** JOB STOPPED BY USER ***\" "
     "and a complete report, and skipped the steps after it. An analysis "
     "writes the whole rows it finished and says after how many it stopped. "
     "A second signal ends the runner at once."},
};

constexpr size_t kWidth = 79;
constexpr size_t kTextColumn = 24;

// Fills `text` into lines of at most kWidth characters, the first continuing
// `out` at its current column, the others indented by `indent`.
void fill(std::string& out, std::string_view text, size_t indent)
{
    size_t column = out.size() - (out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
    bool first = true;
    while (!text.empty()) {
        size_t end = text.find(' ');
        std::string_view word = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!first && column + 1 + word.size() > kWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    out += '\n';
}

std::string optionLabel(const OptionDoc& option)
{
    std::string label = option.name;
    if (option.value)
        (label += ' ') += option.value;
    return label;
}

// Man page text: backslashes escaped, dashes as minus signs, no line
// starting with a control character.
std::string roff(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

} // namespace

const char* const kSynopsis = "[OPTION]... [--] [DIR]";

const std::vector<OptionDoc>& optionDocs()
{
    return kOptions;
}

const OptionDoc* findOption(std::string_view name)
{
    for (const OptionDoc& option : kOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

std::string helpText()
{
    std::string out = std::string("usage: ") + kName + ' ';
    fill(out, kSynopsis, 7);
    for (const char* paragraph : kDescription) {
        out += '\n';
        fill(out, paragraph, 0);
    }
    out += "\nOptions:\n";
    for (const OptionDoc& option : kOptions) {
        std::string label = "  " + optionLabel(option);
        out += label;
        if (label.size() + 2 > kTextColumn)
            out += '\n' + std::string(kTextColumn, ' ');
        else
            out.append(kTextColumn - label.size(), ' ');
        fill(out, option.text, kTextColumn);
    }
    out += "\nExit status:\n";
    for (const auto& [status, text] : kStatuses) {
        std::string label = "  " + std::to_string(status);
        out += label + std::string(6 - label.size(), ' ');
        fill(out, text, 6);
    }
    return out;
}

std::string manPage(std::string_view version)
{
    std::string out;
    out += ".TH DUOLINK\\-BATCH 1 \"\" \"" + roff(std::string(kName) + ' ' + std::string(version)) +
           "\" \"User Commands\"\n";
    out += ".nh\n.SH NAME\n" + roff(kName) + " \\- " + roff(kSummary) + "\n";
    out += ".SH SYNOPSIS\n.B " + roff(kName) + "\n" + roff(kSynopsis) + "\n";
    out += ".SH DESCRIPTION\n";
    for (const char* paragraph : kDescription)
        out += ".PP\n" + roff(paragraph) + "\n";
    out += ".SH OPTIONS\n";
    for (const OptionDoc& option : kOptions) {
        out += ".TP\n\\fB" + roff(option.name) + "\\fR";
        if (option.value)
            out += " \\fI" + roff(option.value) + "\\fR";
        out += "\n" + roff(option.text) + "\n";
    }
    out += ".SH EXIT STATUS\n";
    for (const auto& [status, text] : kStatuses)
        out += ".TP\n.B " + std::to_string(status) + "\n" + roff(text) + "\n";
    out += ".SH FILES\n.TP\n.I vld33res.txt\nThe report, written in DIR.\n";
    return out;
}

} // namespace duolink::batch
