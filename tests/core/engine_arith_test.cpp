// SPDX-License-Identifier: GPL-3.0-or-later
#include <bit>
#include <cmath>

#include "core/support/numtext.h"
#include "core/engine/training.h"
#include "core/engine/wholepairs.h"
#include "core/engine/widerows.h"
#include "core/analysis/splitmix64.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::EngineTest;

namespace {
Vector vec(std::initializer_list<double> values)
{
    Vector v{};
    int i = 1;
    for (double x : values)
        v[i++] = x;
    return v;
}
} // namespace

class Arithmetic : public EngineTest {};

TEST_F(Arithmetic, ProductsRoundTiesToEven)
{
    unity = 10;
    bLen = 1;
    Matrix m{};
    outerProduct(vec({1}), 1, vec({5}), 1, m, 1.0L);
    EXPECT_EQ(m[1], 0);  // 0.5
    outerProduct(vec({1}), 1, vec({15}), 1, m, 1.0L);
    EXPECT_EQ(m[1], 2);  // 1.5
    outerProduct(vec({1}), 1, vec({35}), 1, m, 1.0L);
    EXPECT_EQ(m[1], 4);  // 3.5
    outerProduct(vec({-1}), 1, vec({4}), 1, m, 1.0L);
    EXPECT_FALSE(std::signbit(m[1])) << "a rounded zero is never negative";

    // The running sum is rounded after every row: 0.5 -> 0, 0 + 0.5 -> 0;
    // 1.5 -> 2, 2 + 1.5 = 3.5 -> 4.
    Matrix w{};
    w[cellIndex(1, 1)] = 5;
    w[cellIndex(2, 1)] = 5;
    Vector out = vec({0, 7});
    vectorMatrixProduct(w, 2, 1, out, vec({1, 1}));
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 7) << "elements beyond k are left alone";
    vectorMatrixProduct(w, 2, 1, out, vec({3, 3}));
    EXPECT_EQ(out[1], 4);
}

TEST_F(Arithmetic, CellIndexAndMatrixAdd)
{
    bLen = 0;
    EXPECT_EQ(cellIndex(5, 3), 3);
    bLen = 8;
    EXPECT_EQ(cellIndex(2, 3), 11);
    Matrix a{}, b{};
    a[cellIndex(2, 2)] = 1.5;
    b[cellIndex(2, 2)] = 2.25;
    matrixAdd(a, 2, 2, b, a);
    EXPECT_EQ(a[cellIndex(2, 2)], 3.75) << "sums are stored without rounding, in place";
}

TEST_F(Arithmetic, FaultsRaiseInsteadOfProducingInfOrNan)
{
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const RunError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    unity = 0;
    bLen = 1;
    Matrix m{};
    EXPECT_EQ(message([&] { outerProduct(vec({1}), 1, vec({5}), 1, m, 1.0L); }), "Floating point division by zero");
    EXPECT_EQ(message([&] { outerProduct(vec({1}), 1, vec({0}), 1, m, 1.0L); }), "Invalid floating point operation");
    EXPECT_EQ(message([] { roundEven(1e19L); }), "Invalid floating point operation");
    EXPECT_EQ(message([] { storeDouble(1e309L); }), "Floating point overflow");
    EXPECT_EQ(message([] { roundEven(-9223372036854775808.0L); }), "no error");
}

TEST_F(Arithmetic, TransferFunctions)
{
    unity = 10000;
    EXPECT_EQ(trainingTransfer(0), 100000000);
    EXPECT_EQ(trainingTransfer(320000), 10000);
    EXPECT_EQ(trainingTransfer(-320000), 0);
    EXPECT_FALSE(std::signbit(trainingTransfer(-320000)));
    EXPECT_EQ(trainingTransfer(-10000), -5820);  // 1 / (1 - e) for x = -1
    EXPECT_EQ(trainingTransfer(0.5), 100000000) << "within 0.0001 of zero";
    EXPECT_EQ(trainingTransfer(-0.5), -100000000);
    EXPECT_EQ(logisticTransfer(0), 5000);
    EXPECT_EQ(logisticTransfer(320000), 10000);
    EXPECT_EQ(logisticTransfer(-320000), 0);
    EXPECT_EQ(logisticTransfer(10000), 7311);
}

TEST_F(Arithmetic, PairScoringAndFitTerm)
{
    unity = 10000;
    tol = 0.1;
    runOption = 3;
    reportFile.create("r.txt");
    // Differences of exactly TOL are hits.
    Vector b = vec({10000, 0, 0, 0});
    Vector c = vec({5000, 10000, 1000, 0});
    EXPECT_FALSE(scorePattern(b, c, 4));  // BEC 2
    EXPECT_FALSE(scorePattern(vec({0}), vec({2000}), 1));  // BEC 1
    EXPECT_TRUE(scorePattern(vec({0}), vec({1000}), 1));
    reportFile.close();
    EXPECT_EQ(duolink::testing::readFile("r.txt"),
              duolink::testing::crlf({" BEC =      2  BER =      1.0  RESULT = FALSE",
                                      " BEC =      1  BER =      1.5  RESULT = FALSE",
                                      " BEC =      0  BER =      1.5  RESULT = TRUE"}));

    Vector e = vec({10000, 0});
    Vector calc = vec({5000, 10000});
    errorVector(e, calc, 2);
    EXPECT_EQ(calc[1], 5000);
    EXPECT_EQ(calc[2], -10000);
    EXPECT_EQ(fitTerm(calc, e, 2), 2.640625L);
}

TEST_F(Arithmetic, BerAccumulatesAcrossPairs)
{
    unity = 10;
    tol = 0;
    runOption = 4;
    reportFile.create("r.txt");
    scorePattern(vec({0, 0, 0}), vec({10, 10, 10}), 3);
    scorePattern(vec({0, 0, 0}), vec({10, 0, 0}), 3);
    reportFile.close();
    std::string r = duolink::testing::readFile("r.txt");
    EXPECT_NE(r.find(" BER =      1.5 "), std::string::npos);
    EXPECT_NE(r.find(" BER =      2.0 "), std::string::npos);
}

TEST_F(Arithmetic, MissedPairCorrectsTheMatrixByTheDeltaRule)
{
    unity = 10000;
    tol = 0.1;
    beta = 0.5;
    runOption = 2;
    transferFunction = 2;
    presentationNo = 1;
    bLen = 1;
    Matrix w{};
    w[cellIndex(1, 1)] = 5000;
    Vector a = vec({10000});
    Vector b = vec({10000});
    r2Sum = 0;
    EXPECT_FALSE(testPattern(a, b, 1, w, 1));
    // calc 5000, error 5000, W grows by 0.5 * 10000 * 5000 / 10000.
    EXPECT_EQ(w[1], 7500);
    EXPECT_EQ(calcVector[1], 5000);
    EXPECT_DOUBLE_EQ(r2Sum, 2.25 * 2.25);  // t = 5000 / 10000 + 1, s = t * t
    EXPECT_EQ(pane.lines,
              (std::vector<std::string>{"       1Input:   1.00000 ", "", "Expected:   1.00000 ", "",
                                        "Calc:   0.50000 ", "", " Error =  0.50000 ", " "}));
    pane.lines.clear();
    w[1] = 10000;
    EXPECT_TRUE(testPattern(a, b, 1, w, 1));
    EXPECT_EQ(w[1], 10000);
    EXPECT_EQ(pane.lines.back(), " Correct ");
}

TEST_F(Arithmetic, MatrixAndVectorPrinting)
{
    unity = 10;
    bLen = 20;
    Matrix m{};
    m[cellIndex(1, 1)] = 15;
    m[cellIndex(1, 17)] = -5;
    printWMatrix(m, 1, 20);
    std::string cell0 = "  0.00000  ";
    std::string first = "  1.50000  ";
    for (int c = 2; c <= 16; ++c)
        first += cell0;
    std::string second = " -0.50000  " + cell0 + cell0 + cell0;
    EXPECT_EQ(pane.lines, (std::vector<std::string>{" ===== W Matrix ====== ", first + " ", second + " ", " "}));

    // Shown again: a changed line is written anew, in place or, when its
    // length changes, with the lines after it moved; a weight that cannot be
    // shown raises after the lines before it.
    struct Step {
        int cell;
        double value;
        std::string firstCell, secondCell;
    };
    const Step steps[] = {{17, 25, "  1.50000  ", "  2.50000  "},
                          {1, -123456, "-12345.60000  ", "  2.50000  "},
                          {1, 15, "  1.50000  ", "  2.50000  "}};
    for (const Step& step : steps) {
        m[cellIndex(1, step.cell)] = step.value;
        pane.lines.clear();
        printWMatrix(m, 1, 20);
        const std::string line = step.firstCell + first.substr(first.find("  0.0"));
        EXPECT_EQ(pane.lines, (std::vector<std::string>{" ===== W Matrix ====== ", line + " ",
                                                        step.secondCell + cell0 + cell0 + cell0 + " ", " "}));
    }
    m[cellIndex(1, 18)] = std::nan("");
    pane.lines.clear();
    EXPECT_THROW(printWMatrix(m, 1, 20), RunError);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{" ===== W Matrix ====== ", first + " "}));
    m[cellIndex(1, 18)] = 0;
    pane.lines.clear();
    m[cellIndex(1, 17)] = -5;
    pane.lines.clear();
    printWMatrix(m, 1, 20);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{" ===== W Matrix ====== ", first + " ", second + " ", " "}));

    reportFile.create("r.txt");
    Vector v{};
    for (int i = 1; i <= 17; ++i)
        v[i] = i * 100;
    writeVectorReport(v, 9);
    reportFile.writeLn();
    writeVectorReport(v, 17);
    reportFile.writeLn();
    writeVectorReport(v, 0);
    reportFile.writeLn();
    writeWMatrixReport(m, 1, 20);
    reportFile.close();
    std::string nine = " ";
    for (int i = 1; i <= 9; ++i)
        nine += shortExpText(i * 100) + " ";
    std::string sixteen = " ";
    for (int i = 1; i <= 16; ++i)
        sixteen += shortExpText(i * 100) + " ";
    std::string cells = " 1.5E+0001  ";
    for (int c = 2; c <= 16; ++c)
        cells += " 0.0E+0000  ";
    EXPECT_EQ(duolink::testing::readFile("r.txt"),
              duolink::testing::crlf({nine + " ", sixteen, " 1.7E+0003  ", "  ", " ===== W Matrix ====== ", cells,
                                      "-5.0E+0000   0.0E+0000   0.0E+0000   0.0E+0000  ", ""}));
}

TEST_F(Arithmetic, ProgramDoneEndsTheJobWithItsReport)
{
    reportFile.create("r.txt");
    reportFile.writeLn("x");
    try {
        programDone("why");
        ADD_FAILURE() << "no JobTerminated";
    } catch (const JobTerminated& e) {
        EXPECT_EQ(e.reason(), "why");
    }
    EXPECT_FALSE(reportFile.isOpen());
    EXPECT_EQ(duolink::testing::readFile("r.txt"), "x\r\nPROGRAM DONE\r\n");
}

// The shortcut the quiet pair test takes for a row of unity must round as
// the general correction does, ties and huge values included.
TEST_F(Arithmetic, UnityRowCorrectionIsTheGeneralOne)
{
    // Products just off +-0.5 and 1.5 too, where the ulp differs on the
    // two sides of 0.5.
    const double betas[] = {0.5, 0.25, 1.5, 0.1, 1.0 / 3, -0.5, 0.3, 2.5e-9, 0, 1e300, 7.0, 0.05, 0.15, 0.35, -0.45, 0.7,
                            0.5 + 0x1p-50, 0.5 - 0x1p-50, 0.5 + 0x1p-53, 0.5 - 0x1p-54, 1.5 - 0x1p-50, 1.5 - 0x1p-52};
    const int unities[] = {10000, 1000, 7, 1};
    double errors[64] = {0, 1, -1, 3, -3, 5, 9999, -10001, 0x1p31, 0x1p40 + 1, -0x1p52 + 1, 0x1p49 + 3};
    SplitMix64 g(9);
    for (int k = 12; k < 64; ++k)
        errors[k] = static_cast<double>(static_cast<int64_t>(g.next() % 400001) - 200000);
    for (int u : unities)
        for (double beta : betas) {
            double shortcuts[64];
            bool failed = false;
            for (int k = 0; k < 64; ++k) {
                const double e = errors[k];
                SCOPED_TRACE(::testing::Message() << "unity " << u << " beta " << beta << " e " << e);
                unity = u;
                aLen = bLen = 1;
                Matrix general{};
                std::string generalError, shortcutError;
                double shortcut = -1;
                try {
                    correctionProduct(vec({static_cast<double>(u)}), 1, vec({e}), 1, general, beta);
                } catch (const RunError& x) {
                    generalError = x.what();
                }
                try {
                    shortcut = unityRowCorrection(e, u, beta);
                } catch (const RunError& x) {
                    shortcutError = x.what();
                }
                ASSERT_EQ(shortcutError, generalError);
                if (generalError.empty())
                    ASSERT_EQ(std::bit_cast<uint64_t>(shortcut), std::bit_cast<uint64_t>(general[1]));
                shortcuts[k] = shortcut;
                failed = failed || !generalError.empty();
            }
            // Four at a time, where the processor can: the same values, or
            // the same failure.
            if (!widerows::available())
                continue;
            SCOPED_TRACE(::testing::Message() << "four at a time: unity " << u << " beta " << beta);
            double wide[64];
            bool wideFailed = false;
            try {
                widerows::corrections(errors, 63, u, beta, wide); // 63: a value past the last four too
                wide[63] = shortcuts[63];
            } catch (const RunError&) {
                wideFailed = true;
            }
            ASSERT_EQ(wideFailed, failed);
            if (!failed)
                for (int k = 0; k < 64; ++k)
                    ASSERT_EQ(std::bit_cast<uint64_t>(wide[k]), std::bit_cast<uint64_t>(shortcuts[k])) << "e " << errors[k];
        }
}

// Sums and products of rows take shortcuts in double arithmetic (whole rows,
// rows of zeros, inputs of 0 and unity, inputs of 0 and one value); each
// gives what the extended arithmetic of every cell gives, or raises what it
// raises, for every row length.
TEST_F(Arithmetic, RowShortcutsGiveTheExtendedResults)
{
    const double big = 0x1p52, inf = INFINITY, nan = std::nan("");
    const std::vector<std::vector<double>> rows = {
        {5, -7, 0, 0x1p40, -3},  {0, 0, 0, 0, 0},         {-0.0, -0.0, 0, -0.0, 0}, {1.5, 2, 3, 4, 5},
        {big - 1, 1, 2, 3, 4},   {big, 2, -big, 1, 0},    {0x1p31 - 1, 1, 1, 1, 1}, {0x1p31, 0, 0, 0, 1},
        {inf, 0, 0, 0, 0},       {0, 0, 0, 0, nan},       {1e300, 1e300, 0, 0, 0},  {-1e308, 0, 0, 0, 1},
        // Their sums round twice in the extended arithmetic.
        {0x1p64 + 0x1p12, 0x1p64 + 0x1p13, 0, 0, 0}, {0x1p11 + 1, 0x1p11 + 1, 0, 0, 0}};
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const RunError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    unity = 10;
    for (const int cols : {1, 2, 3, 5}) {
        bLen = cols;
        for (size_t x = 0; x < rows.size(); ++x) {
            for (size_t y = 0; y < rows.size(); ++y) {
                SCOPED_TRACE(::testing::Message() << "cols " << cols << " rows " << x << ", " << y);
                // matrixAdd of one row each, against the extended sum of each cell.
                Matrix a{}, b{}, sum{}, expected{};
                std::string expectedError;
                for (int j = 1; j <= cols; ++j) {
                    a[j] = rows[x][static_cast<size_t>(j - 1)];
                    b[j] = rows[y][static_cast<size_t>(j - 1)];
                    const long double s = static_cast<long double>(b[j]) + a[j];
                    if (expectedError.empty())
                        expectedError = std::isnan(s) ? "Invalid floating point operation" : message([&] { expected[j] = storeDouble(s); });
                }
                const std::string error = message([&] { matrixAdd(a, 1, cols, b, sum); });
                ASSERT_EQ(error, expectedError);
                for (int j = 1; error.empty() && j <= cols; ++j)
                    ASSERT_EQ(std::bit_cast<uint64_t>(sum[j]), std::bit_cast<uint64_t>(expected[j])) << j;

                // The product of two rows with inputs of 0 and unity, against
                // the running sum rounded after every row.
                for (const Vector& in : {vec({10, 0}), vec({0, 10}), vec({10, 10}), vec({0, 0})}) {
                    Matrix m{};
                    for (int j = 1; j <= cols; ++j) {
                        m[cellIndex(1, j)] = a[j];
                        m[cellIndex(2, j)] = b[j];
                    }
                    Vector out{}, want{};
                    const std::string wantError = message([&] {
                        for (int j = 1; j <= cols; ++j)
                            for (int i = 1; i <= 2; ++i) {
                                const long double t = fdiv(static_cast<long double>(m[cellIndex(i, j)]) * in[i], 10) + want[j];
                                if (std::isnan(t))
                                    throw RunError(kInvalidOp);
                                want[j] = roundStoredEven(storeDouble(t));
                            }
                    });
                    ASSERT_EQ(message([&] { vectorMatrixProduct(m, 2, cols, out, in); }), wantError) << in[1] << " " << in[2];
                    for (int j = 1; wantError.empty() && j <= cols; ++j)
                        ASSERT_EQ(std::bit_cast<uint64_t>(out[j]), std::bit_cast<uint64_t>(want[j])) << j;
                }
            }
        }
    }
    // Corrections by inputs of 0 and one value are rows of zeros and that
    // value's row; any other inputs are worked out row by row.
    aLen = 5;
    bLen = 3;
    for (const Vector& inputs : {vec({0, 10, 0, 10, 10}), vec({10, 10, 10, 10, 10}), vec({0, 0, -30, 0, -30}),
                                 vec({10, 20, 0, 10, 0}), vec({0, 0, 0, 0, 0})}) {
        for (const Vector& errors : {vec({7, -13, 25}), vec({-0.0, 1e300, 3}), vec({inf, 1, 1})}) {
            Matrix rowsAtOnce{};
            const std::string error = message([&] { correctionProduct(inputs, 5, errors, 3, rowsAtOnce, 0.05L); });
            for (int i = 1; i <= 5; ++i) {
                Matrix single{};
                const std::string rowError = message([&] { correctionProduct(vec({inputs[i]}), 1, errors, 3, single, 0.05L); });
                if (!rowError.empty()) {
                    EXPECT_EQ(error, rowError);
                    break;
                }
                for (int j = 1; error.empty() && j <= 3; ++j)
                    EXPECT_EQ(std::bit_cast<uint64_t>(rowsAtOnce[cellIndex(i, j)]), std::bit_cast<uint64_t>(single[j]))
                        << inputs[i] << " " << errors[j];
            }
        }
    }
}
