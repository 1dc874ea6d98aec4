#pragma once

#include <QProcess>
#include <QString>

namespace backreel::bench {

// A competing load, as a game beside the recorder makes it: a process of its own that keeps every
// core busy for `percent` of each 10 ms, so that its CPU time is not counted as the benchmark's.
// It runs while the object lives.
class CpuLoad {
public:
    // Starts `program --burn PERCENT` (the benchmark's own program, which calls burnCpu()).
    CpuLoad(const QString& program, int percent);
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

private:
    QProcess process_;
};

// The load's own side: one thread per core, each busy `percent` of every 10 ms; never returns.
[[noreturn]] void burnCpu(int percent);

} // namespace backreel::bench
