#pragma once
// The process's peak resident memory and CPU time so far, for the --timedemo line; false
// where the platform cannot tell. Each platform's process entry defines it.
bool ProcessUsage(long* peakKb, double* cpuMs);
