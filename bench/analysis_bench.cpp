// SPDX-License-Identifier: GPL-3.0-or-later
// Times the analyses on a full list: 256 pairs of 0/1 patterns (every A
// pattern once) through a 9 x 8 matrix. Prints one line of figures:
//   recall_table_ms flip_1thread_s flip_all_s gauss_1thread_s gauss_all_s threads flip_1thread_cpu_s
// (the last: the processor time of the one-thread flip table, which a busy
// machine disturbs less than the wall time).
// The flip table is the exhaustive one (256 x 256 recalls); the Gaussian one
// has the default six levels and 100 trials per pair (153 600 recalls).
#include <chrono>
#include <cstdio>
#include <thread>
#include <ctime>

#include "core/analysis/noise.h"
#include "core/analysis/recalltable.h"
#include "core/analysis/splitmix64.h"

using namespace duolink;

namespace {

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename Body>
double seconds(Body&& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    SplitMix64 random(2024);
    RecallSnapshot snapshot;
    snapshot.aLen = 9;
    snapshot.bLen = 8;
    for (int k = 1; k <= 72; ++k)
        snapshot.w[k] = static_cast<double>(static_cast<int>(random.next() % 20001) - 10000);
    PatternPairs binary(256), real(256);
    for (int p = 0; p < 256; ++p)
        for (int i = 1; i <= 8; ++i) {
            binary[p].a[i] = (p >> (i - 1)) & 1;
            binary[p].b[9 - i] = binary[p].a[i];
            real[p].a[i] = binary[p].a[i] * 0.9 + 0.05;
            real[p].b[i] = binary[p].b[i];
        }
    NoiseOptions options;
    options.tol = 0.1;
    const ThreadPool one(1), all(0);

    const double table = seconds([&] { (void)recallTable(snapshot, binary, options.tol); });
    const double cpuStart = threadCpuSeconds();
    const double flipOne = seconds([&] { (void)noiseTable(snapshot, binary, options, one); });
    const double flipOneCpu = threadCpuSeconds() - cpuStart;
    const double flipAll = seconds([&] { (void)noiseTable(snapshot, binary, options, all); });
    const double gaussOne = seconds([&] { (void)noiseTable(snapshot, real, options, one); });
    const double gaussAll = seconds([&] { (void)noiseTable(snapshot, real, options, all); });
    std::printf("%.3f %.4f %.4f %.4f %.4f %u %.4f\n", table * 1000, flipOne, flipAll, gaussOne, gaussAll,
                all.threadCount(), flipOneCpu);
    return 0;
}
