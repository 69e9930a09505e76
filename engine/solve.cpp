#include "engine/solve.h"

namespace duolink {
void solveJob() {}
void solveExistingJob() {}
void closeEngineFiles() noexcept {}
} // namespace duolink
