// SPDX-License-Identifier: GPL-3.0-or-later
// The provenance file that --replay reads. Any input either reads or is
// refused with ProvenanceError; what reads is a command, a folder, (for a
// sweep or a table) a list with a 64-digit digest, a table's step and the
// input files with theirs, and a file written from it reads back to the same.
#include "core/analysis/provenance.h"
#include "fuzzsupport.h"

using namespace duolink::analysis;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ProvenanceRecord record;
    try {
        record = readProvenance(text);
    } catch (const ProvenanceError&) {
        return 0;
    }
    FUZZ_CHECK(!record.command.empty() && !record.folder.empty());
    FUZZ_CHECK(record.list.empty() || record.listSha256.size() == 64);
    Provenance p;
    p.command = record.command;
    p.folder = record.folder;
    p.list = record.list;
    p.listSha256 = record.listSha256;
    p.step = record.step;
    p.stepIndex = record.stepIndex;
    p.inputs = record.inputs;
    p.request.settings.parameters = "2\n30\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n";
    const ProvenanceRecord again = readProvenance(provenanceJson(p));
    FUZZ_CHECK(again.command == record.command && again.folder == record.folder && again.list == record.list &&
               again.listSha256 == record.listSha256 && again.step == record.step);
    FUZZ_CHECK(record.step.empty() || (record.stepIndex >= 0 && again.stepIndex == record.stepIndex));
    FUZZ_CHECK(again.inputs.size() == record.inputs.size());
    for (size_t k = 0; k < record.inputs.size(); ++k)
        FUZZ_CHECK(again.inputs[k].role == record.inputs[k].role && again.inputs[k].path == record.inputs[k].path &&
                   again.inputs[k].sha256 == record.inputs[k].sha256 && record.inputs[k].path[0] == '/');
    return 0;
}
