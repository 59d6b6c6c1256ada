/*
 * cpus.h --
 *
 *	How many processors the process may keep busy: the CPUs of its
 *	affinity mask (taskset, a container's cpuset), fewer still under a
 *	cgroup CPU quota. Threaded readers size their worker pools by it, so
 *	a two-core machine or a pinned process gets no more threads than it
 *	can run.
 */
#ifndef TESK_RUNTIME_CPUS_H
#define TESK_RUNTIME_CPUS_H

/* The processors the process may use now, at least 1: those of its
 * affinity mask, bounded by the cgroup CPU quota (rounded up) where one
 * is set. Read afresh on each call: the mask may change. */
int usableProcessors();

/* Worker threads for a job that gains up to most threads: usableProcessors()
 * clamped to 1..most. */
int workerThreads(int most);

/* The processors a cgroup CPU quota allows: text is the contents of a
 * cgroup v2 cpu.max file ("QUOTA PERIOD" or "max PERIOD"); answers
 * ceil(QUOTA / PERIOD), at least 1, or 0 when there is no quota or the
 * text is not one. */
int quotaProcessors(const char *text);

#endif /* TESK_RUNTIME_CPUS_H */
