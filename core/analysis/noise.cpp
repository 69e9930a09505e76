// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/noise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>

#include "core/support/errors.h"
#include "core/support/numgrammar.h"

#include "core/analysis/shapedrecall.h"
#include "core/analysis/splitmix64.h"

namespace duolink {

namespace {

constexpr int kValues = 8;
constexpr int kFlipLevels = kValues + 1;
constexpr std::size_t kTrialsPerPiece = 250;

void count(NoiseRow& row, const RecallScore& score, int own)
{
    ++row.recalls;
    if (score.outsideTol == 0)
        ++row.withinTol;
    if (score.nearest == own)
        ++row.nearestOwn;
    row.outsideTolElements += score.outsideTol;
}

void add(NoiseRow& into, const NoiseRow& row)
{
    into.recalls += row.recalls;
    into.withinTol += row.withinTol;
    into.nearestOwn += row.nearestOwn;
    into.outsideTolElements += row.outsideTolElements;
}

RecallScore recallDamaged(Recaller& recaller, const PatternPairs& list, std::size_t p, TPatternVector& a,
                          double tol)
{
    a[9] = parityOf(a);
    return scoreRecall(recaller.recall(a), list, p, tol);
}

// A recall that failed at a noise level, naming the level.
RunError levelError(const RunError& e, double sigma)
{
    std::string text = "at noise level ";
    appendShortest(text, sigma);
    RunError error(text + ": " + e.what());
    error.attachFile(e.file());
    return error;
}

} // namespace

bool isBinaryList(const PatternPairs& list)
{
    for (const PatternPair& pair : list)
        for (int i = 1; i <= kValues; ++i)
            if (pair.a[i] != 0 && pair.a[i] != 1)
                return false;
    return true;
}

std::optional<NoiseTable> noiseTable(const RecallSnapshot& snapshot, const PatternPairs& list,
                                     const NoiseOptions& options, const ThreadPool& pool, WorkProgress* progress,
                                     NoiseTable* finished)
{
    if (finished)
        *finished = NoiseTable{isBinaryList(list) ? NoiseMode::Flip : NoiseMode::Gauss, {}};
    NoiseTable table;
    table.mode = isBinaryList(list) ? NoiseMode::Flip : NoiseMode::Gauss;
    const std::size_t pairs = list.size();
    // One scratch engine per thread.
    std::vector<Recaller> recallers;
    recallers.reserve(pool.threadCount());
    for (unsigned t = 0; t < pool.threadCount(); ++t)
        recallers.emplace_back(snapshot);

    if (table.mode == NoiseMode::Flip) {
        // One piece per pair: all 256 flip sets, counted by k.
        std::vector<std::array<NoiseRow, kFlipLevels>> perPair(pairs);
        const bool complete = pool.forEachOnWorkers(pairs, [&](std::size_t p, unsigned worker) {
            for (unsigned mask = 0; mask < (1u << kValues); ++mask) {
                TPatternVector a = list[p].a;
                for (int i = 0; i < kValues; ++i)
                    if (mask & (1u << i))
                        a[i + 1] = 1 - a[i + 1];
                const RecallScore score = recallDamaged(recallers[worker], list, p, a, options.tol);
                count(perPair[p][std::popcount(mask)], score, static_cast<int>(p) + 1);
            }
        }, progress);
        if (!complete)
            return std::nullopt;
        table.rows.resize(kFlipLevels);
        for (int k = 0; k < kFlipLevels; ++k) {
            table.rows[k].level = k;
            for (const auto& rows : perPair)
                add(table.rows[k], rows[k]);
        }
        return table;
    }

    // One piece per sigma, pair and block of trials, so that a stop or the
    // progress is never far away.
    const std::size_t levels = options.sigmas.size();
    const std::size_t trials = static_cast<std::size_t>(std::max(0, options.trials));
    const std::size_t blocks = (trials + kTrialsPerPiece - 1) / kTrialsPerPiece;
    std::vector<NoiseRow> pieces(levels * pairs * blocks);
    std::vector<char> pieceDone(pieces.size(), 0);
    const bool complete = pool.forEachOnWorkers(pieces.size(), [&](std::size_t piece, unsigned worker) {
        const std::size_t s = piece / (pairs * blocks);
        const std::size_t p = piece / blocks % pairs;
        const std::size_t firstTrial = piece % blocks * kTrialsPerPiece;
        const std::size_t endTrial = std::min(trials, firstTrial + kTrialsPerPiece);
        const double sigma = options.sigmas[s];
        for (std::size_t t = firstTrial; t < endTrial; ++t) {
            SplitMix64 random(SplitMix64::streamSeed(options.seed, p + 1, s, t));
            TPatternVector a = list[p].a;
            for (int i = 1; i <= kValues; i += 2) {
                const auto [z1, z2] = random.nextNormalPair();
                a[i] += sigma * z1;
                a[i + 1] += sigma * z2;
            }
            try {
                count(pieces[piece], recallDamaged(recallers[worker], list, p, a, options.tol),
                      static_cast<int>(p) + 1);
            } catch (const RunError& e) {
                throw levelError(e, sigma);
            }
        }
        pieceDone[piece] = 1;
    }, progress);
    // The levels whose pieces are all done, from the first on.
    const std::size_t perLevel = pairs * blocks;
    for (std::size_t s = 0; s < levels; ++s) {
        const auto first = pieceDone.begin() + static_cast<std::ptrdiff_t>(s * perLevel);
        if (std::find(first, first + static_cast<std::ptrdiff_t>(perLevel), 0) != first + static_cast<std::ptrdiff_t>(perLevel))
            break;
        NoiseRow& row = table.rows.emplace_back();
        row.level = options.sigmas[s];
        for (std::size_t k = 0; k < perLevel; ++k)
            add(row, pieces[s * perLevel + k]);
    }
    if (!complete) {
        if (finished)
            *finished = std::move(table);
        return std::nullopt;
    }
    return table;
}

std::uint64_t flipSetCount(int n, int k, std::uint64_t most)
{
    if (k < 0 || k > n)
        return 0;
    k = std::min(k, n - k);
    std::uint64_t count = 1;
    for (int i = 1; i <= k; ++i) {
        // count * (n - k + i) / i stays whole at every step.
        count = count * static_cast<std::uint64_t>(n - k + i) / static_cast<std::uint64_t>(i);
        if (count > most)
            return most + 1;
    }
    return count;
}

bool isBinaryList(const ShapedPairs& list)
{
    for (const std::vector<double>& a : list.a)
        for (int i = 0; i < list.shape.n; ++i)
            if (a[static_cast<size_t>(i)] != 0 && a[static_cast<size_t>(i)] != 1)
                return false;
    return true;
}

namespace {

// Noise of any shape: one piece per level and pair (and block of trials),
// each counted on its own, so that the sums do not depend on the threads.
class ShapedNoise {
public:
    ShapedNoise(const RecallSnapshot& snapshot, const ShapedPairs& list, const NoiseOptions& options, unsigned threads)
        : list_(list), options_(options), n_(list.shape.n)
    {
        for (unsigned t = 0; t < threads; ++t)
            recallers_.emplace_back(snapshot);
    }

    // A recall of `a` (the parity recomputed) as pair p's.
    void recall(std::vector<double>& a, std::size_t p, unsigned worker, NoiseRow& row)
    {
        a.back() = parityOfValues(a.data(), n_);
        const RecallScore score =
            analysis::scoreValues(recallers_[worker].recallValues(a), list_, p, options_.tol);
        count(row, score, static_cast<int>(p) + 1);
    }

    // Every flip set of k values of pair p, in the order of their places.
    void allFlips(int k, std::size_t p, unsigned worker, NoiseRow& row)
    {
        std::vector<int> places(static_cast<size_t>(k));
        for (int i = 0; i < k; ++i)
            places[static_cast<size_t>(i)] = i;
        for (;;) {
            std::vector<double> a = list_.a[p];
            for (int i : places)
                a[static_cast<size_t>(i)] = 1 - a[static_cast<size_t>(i)];
            recall(a, p, worker, row);
            int i = k - 1;
            while (i >= 0 && places[static_cast<size_t>(i)] == n_ - k + i)
                --i;
            if (i < 0)
                return;
            ++places[static_cast<size_t>(i)];
            for (int j = i + 1; j < k; ++j)
                places[static_cast<size_t>(j)] = places[static_cast<size_t>(j) - 1] + 1;
        }
    }

    // Trials [first, end) of level k for pair p, each drawing its flip set.
    void drawnFlips(int k, std::size_t p, std::size_t first, std::size_t end, unsigned worker, NoiseRow& row)
    {
        std::vector<int> order(static_cast<size_t>(n_));
        for (std::size_t t = first; t < end; ++t) {
            SplitMix64 random(SplitMix64::streamSeed(options_.seed, p + 1, static_cast<std::uint64_t>(k), t));
            for (int i = 0; i < n_; ++i)
                order[static_cast<size_t>(i)] = i;
            std::vector<double> a = list_.a[p];
            for (int i = 0; i < k; ++i) {
                const int j = i + static_cast<int>(random.nextUnit() * (n_ - i));
                std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(j)]);
                a[static_cast<size_t>(order[static_cast<size_t>(i)])] = 1 - a[static_cast<size_t>(order[static_cast<size_t>(i)])];
            }
            recall(a, p, worker, row);
        }
    }

    // Trials [first, end) of standard deviation `sigma` (index s) for pair p.
    void gaussTrials(std::size_t s, std::size_t p, std::size_t first, std::size_t end, unsigned worker, NoiseRow& row)
    {
        const double sigma = options_.sigmas[s];
        for (std::size_t t = first; t < end; ++t) {
            SplitMix64 random(SplitMix64::streamSeed(options_.seed, p + 1, s, t));
            std::vector<double> a = list_.a[p];
            for (int i = 0; i < n_; i += 2) {
                const auto [z1, z2] = random.nextNormalPair();
                a[static_cast<size_t>(i)] += sigma * z1;
                if (i + 1 < n_)
                    a[static_cast<size_t>(i) + 1] += sigma * z2;
            }
            try {
                recall(a, p, worker, row);
            } catch (const RunError& e) {
                throw levelError(e, sigma);
            }
        }
    }

private:
    const ShapedPairs& list_;
    const NoiseOptions& options_;
    int n_;
    std::vector<Recaller> recallers_;
};

} // namespace

namespace {

// The rows of the levels whose pieces are all done, from the first on.
void addFinishedLevels(NoiseTable& table, const std::vector<NoiseRow>& pieces, const std::vector<char>& pieceDone,
                       std::size_t perLevel, const std::function<void(NoiseRow&, std::size_t)>& describe)
{
    const std::size_t levels = perLevel ? pieces.size() / perLevel : 0;
    for (std::size_t level = 0; level < levels; ++level) {
        const auto first = pieceDone.begin() + static_cast<std::ptrdiff_t>(level * perLevel);
        if (std::find(first, first + static_cast<std::ptrdiff_t>(perLevel), 0) != first + static_cast<std::ptrdiff_t>(perLevel))
            break;
        NoiseRow& row = table.rows.emplace_back();
        describe(row, level);
        for (std::size_t k = 0; k < perLevel; ++k)
            add(row, pieces[level * perLevel + k]);
    }
}

} // namespace

std::optional<NoiseTable> noiseTable(const RecallSnapshot& snapshot, const ShapedPairs& list,
                                     const NoiseOptions& options, const ThreadPool& pool, WorkProgress* progress,
                                     NoiseTable* finished)
{
    if (list.shape.fixed())
        return noiseTable(snapshot, fixedFromShaped(list), options, pool, progress, finished);
    analysis::checkListShape(list.shape, snapshot.aLen, snapshot.bLen);
    const int n = list.shape.n;
    NoiseTable table;
    table.mode = isBinaryList(list) ? NoiseMode::Flip : NoiseMode::Gauss;
    if (finished)
        *finished = NoiseTable{table.mode, {}};
    const bool flip = table.mode == NoiseMode::Flip;
    const std::size_t levels = flip ? static_cast<std::size_t>(n) + 1 : options.sigmas.size();
    const std::size_t pairs = list.size();
    const std::size_t trials = static_cast<std::size_t>(std::max(0, options.trials));
    const std::size_t blocks = std::max<std::size_t>(1, (trials + kTrialsPerPiece - 1) / kTrialsPerPiece);
    const std::size_t perLevel = pairs * blocks;
    const auto sampled = [&](std::size_t level) {
        return flip && flipLevelSampled(n, static_cast<int>(level), options.mostFlipSets);
    };
    ShapedNoise noise(snapshot, list, options, pool.threadCount());
    std::vector<NoiseRow> pieces(levels * perLevel);
    std::vector<char> pieceDone(pieces.size(), 0);
    const bool complete = pool.forEachOnWorkers(pieces.size(), [&](std::size_t piece, unsigned worker) {
        const std::size_t level = piece / perLevel, p = piece / blocks % pairs, block = piece % blocks;
        const std::size_t first = block * kTrialsPerPiece, end = std::min(trials, first + kTrialsPerPiece);
        if (!flip)
            noise.gaussTrials(level, p, first, end, worker, pieces[piece]);
        else if (sampled(level))
            noise.drawnFlips(static_cast<int>(level), p, first, end, worker, pieces[piece]);
        else if (block == 0)
            noise.allFlips(static_cast<int>(level), p, worker, pieces[piece]);
        pieceDone[piece] = 1;
    }, progress);
    addFinishedLevels(table, pieces, pieceDone, perLevel, [&](NoiseRow& row, std::size_t level) {
        row.level = flip ? static_cast<double>(level) : options.sigmas[level];
        row.sampled = sampled(level);
    });
    if (!complete) {
        if (finished)
            *finished = std::move(table);
        return std::nullopt;
    }
    return table;
}

std::optional<std::vector<double>> parseSigmaList(std::string_view text)
{
    std::vector<double> sigmas;
    for (;;) {
        const size_t comma = text.find(',');
        std::string_view field = text.substr(0, comma);
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
            field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
            field.remove_suffix(1);
        double sigma = 0;
        if (!parseRealToken(field, sigma) || !std::isfinite(sigma) || sigma < 0)
            return std::nullopt;
        sigmas.push_back(sigma);
        if (comma == std::string_view::npos)
            return sigmas;
        text.remove_prefix(comma + 1);
    }
}

std::string sigmaListText(const std::vector<double>& sigmas)
{
    std::string text;
    for (double sigma : sigmas)
        appendShortest(text += text.empty() ? "" : ", ", sigma);
    return text;
}

std::string noiseTableCsv(const NoiseTable& table)
{
    std::string out = kNoiseHeader;
    out += '\n';
    for (const NoiseRow& row : table.rows) {
        if (table.mode == NoiseMode::Flip) {
            out += row.sampled ? "flip-sampled," : "flip,";
            out += std::to_string(static_cast<int>(row.level));
        } else {
            out += "gauss,";
            appendShortest(out, row.level);
        }
        for (long long n : {row.recalls, row.withinTol, row.nearestOwn, row.outsideTolElements})
            out += ',' + std::to_string(n);
        out += '\n';
    }
    return out;
}

} // namespace duolink
