// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/guard/instances.h"

#include "core/guard/processes.h"

namespace duolink {

InstanceCount countInstances(ProcessSource& source, InstanceLog& log)
{
    InstanceCount count;
    const std::string own = source.ownFileName();
    log.line("App File 2: " + own);
    log.line(std::string(30, '-'));

    const ProcessList list = source.processes();
    const ProcessStart self = source.ownStart();
    if (list.error) {
        log.message("Oops..." + *list.error);
    } else {
        for (size_t k = 0; k < list.names.size(); ++k) {
            const std::string& name = list.names[k];
            log.line(name);
            if (name == own) {
                ++count.matches;
                const ProcessStart other = k < list.starts.size() ? list.starts[k] : ProcessStart{};
                const bool itself = self.known && other.known && other.pid == self.pid;
                if (!itself && (!self.known || !other.known || other.before(self)))
                    ++count.olderCopies;
                log.matchFound(count.processes);
            }
            ++count.processes;
        }
    }

    log.line("There are " + std::to_string(count.processes) + " process(s)");
    log.line("There are " + std::to_string(count.matches) + "  instance(s) of process");
    log.line("");
    return count;
}

} // namespace duolink
