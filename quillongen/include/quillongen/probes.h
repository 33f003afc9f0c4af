// QuillonGen probes: ICMP echo and the running-process lists.
//
// Every function here is safe to call with any input: null or malformed texts
// give the documented failure value, never a crash. None of them shows or
// logs a message; the result is the only report.
#pragma once

#include <stdint.h>

#include "quillongen/qg_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// ICMP echo
//
// Both probes take a host name or dotted IPv4 address and a time limit in
// whole seconds, and return
//    1  an echo reply from the host arrived within the time limit,
//   -1  the time limit ran out,
//    0  any other failure: the host is empty, longer than 255 characters,
//       holds blanks, control or non-ASCII bytes, does not resolve, no socket
//       could be had, a send or receive failed, or an ICMP error (unreachable,
//       time exceeded, parameter problem) came back for the request.
// A time limit of 0 or less waits for nothing: only a reply that is already
// there when the request has gone out counts.
// ---------------------------------------------------------------------------

// Raw-socket probe (needs root or CAP_NET_RAW). Sends a 44-byte echo request
// (identifier = low 16 bits of the process id, sequence 0, a 32-bit send
// time, 32 bytes of 0x45) and reads until the reply carrying this process's
// identifier arrives. The address 0.0.0.0 is sent to (the local host answers).
QG_API int Ping(const char* host, int timeoutSeconds);

// Echo-service probe used by the monitor: an empty echo request with
// time-to-live 60, through an ICMP datagram socket where
// net.ipv4.ping_group_range admits the caller's group, else through a raw
// socket. The address 0.0.0.0 is refused without sending.
QG_API int PingICMP(const char* host, int timeoutSeconds);

// Asked by a stoppable probe while it waits; non-zero means "give up now".
typedef int (*QgStopHook)(void* context);

// PingICMP for a caller that must be able to give up the wait (a program
// asked to close): while the probe waits for room to send or for the reply,
// `stop` is called with `context` about every 50 milliseconds, and a non-zero
// answer ends the probe at once with -2. Name resolution is not interrupted.
// With a null hook this is PingICMP exactly.
QG_API int PingICMPStoppable(const char* host, int timeoutSeconds, QgStopHook stop, void* context);

// ---------------------------------------------------------------------------
// Process lists
//
// A process's name is the file name (no directory) of its executable:
// /proc/PID/exe where readable (a " (deleted)" mark is dropped), else the
// first word of its command line, else its kernel name (/proc/PID/stat).
// Kernel threads are listed under their kernel name. A process that ends
// while the list is read is left out.
//
// Names are compared whole and without regard to case (strcasecmp): no
// trimming, no wildcards, no extension handling, so "sleep.exe" or "sleep "
// never match a process named "sleep".
//
// Lists are one contiguous array allocated by the library; release them only
// with the free function of the same family.
// ---------------------------------------------------------------------------

#define QG_TASK_NAME_SIZE 260

// One process of the full list. Figures come from /proc and saturate at the
// field's maximum:
//   processId       the process id (thread group id)
//   processorTime   userTime + privilegedTime
//   userTime        utime of /proc/PID/stat, in 100-nanosecond units
//   privilegedTime  stime of /proc/PID/stat, in 100-nanosecond units
//   workingSet      resident bytes (resident pages of /proc/PID/statm)
//   pageFileBytes   private committed bytes: data + stack pages of
//                   /proc/PID/statm (VmData + VmStk)
//   handleCount     open file descriptors (/proc/PID/fd)
// Figures that cannot be read (another user's process without privilege)
// are 0.
typedef struct TaskListEntry {
    uint32_t processId;
    int64_t processorTime;
    int64_t userTime;
    int64_t privilegedTime;
    uint32_t workingSet;
    uint32_t pageFileBytes;
    uint32_t handleCount;
    char processName[QG_TASK_NAME_SIZE];
} TaskListEntry;

// One process of the short list. processorTime is not measured: it is a
// library-wide sequence number (1 for the first record filled after the
// library is loaded, rising by one per record across all calls) times
// 10,000,000; the placeholders are always 2000 and 4000.
typedef struct TaskListEntry95 {
    uint32_t processId;
    int64_t processorTime;
    uint32_t placeholder1;
    uint32_t placeholder2;
    char processName[QG_TASK_NAME_SIZE];
} TaskListEntry95;

// Lists every running process. Sets *count to the number of records (0 on
// failure) and returns the first record, or null on failure or null count.
QG_API TaskListEntry* GetTaskList(uint32_t* count);

// Releases a list from GetTaskList; does nothing for null.
QG_API void FreeTaskList(TaskListEntry* list);

// Number of running processes with that name; 0 also when the list cannot
// be had or the name is null.
QG_API int CheckTaskList(const char* processName);

// A system-wide figure by its English object and counter names, compared
// without regard to case; 0 for any other pair or when it cannot be read:
//   "Memory" "Available Bytes"     MemAvailable of /proc/meminfo, bytes
//   "Memory" "Available KBytes"    the same in KiB
//   "Memory" "Available MBytes"    the same in MiB
//   "Memory" "Committed Bytes"     Committed_AS of /proc/meminfo, bytes
//   "Memory" "Commit Limit"        CommitLimit of /proc/meminfo, bytes
//   "Memory" "Cache Bytes"         Cached of /proc/meminfo, bytes
//   "System" "Processes"           running processes (process directories
//                                  of /proc)
//   "System" "Threads"             scheduling entities (/proc/loadavg)
//   "System" "System Up Time"      whole seconds since start (/proc/uptime)
//   "System" "Context Switches/sec" context switches since start, the raw
//                                  running total (/proc/stat ctxt)
QG_API int64_t GetCounterValue(const char* objectName, const char* counterName);

// Lists every running process in the short form. Sets *count and returns
// the first record, or null (count 0) on failure or null count.
QG_API TaskListEntry95* GetTaskList95(uint32_t* count);

// Releases a list from GetTaskList95; does nothing for null.
QG_API void FreeTaskList95(TaskListEntry95* list);

// Number of running processes whose executable has that name (same rule as
// CheckTaskList); 0 also on failure.
QG_API int CheckTaskList95(const char* processName);

#ifdef __cplusplus
}
#endif
