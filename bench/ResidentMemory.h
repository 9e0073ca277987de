#pragma once

#include <QtGlobal>

namespace pm::bench {

// The resident memory of process `pid` (VmRSS of /proc/<pid>/status) in MiB; negative when it cannot be
// read.
double residentMiB(qint64 pid);

}  // namespace pm::bench
