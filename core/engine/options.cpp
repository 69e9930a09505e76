// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/options.h"

#include <cstdlib>
#include <cstring>

namespace duolink {

namespace {
bool switchedOn(const char* name)
{
    const char* value = std::getenv(name);
    return value && std::strcmp(value, "1") == 0;
}
} // namespace

EngineOptions engineOptionsFromEnvironment()
{
    EngineOptions options;
    options.referenceArithmetic = switchedOn("DUOLINK_REFERENCE_ARITHMETIC");
    options.portableOnly = switchedOn("DUOLINK_NO_AVX2");
    return options;
}

} // namespace duolink
