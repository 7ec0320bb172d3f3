// Hooks that exist only in the test build of the library (AK_TEST_HOOKS): they let tests force
// failures that a real machine produces rarely, as curl's torture runs do.
#ifndef SERVICE_CLIENT_TEST_HOOKS_H
#define SERVICE_CLIENT_TEST_HOOKS_H

#ifdef AK_TEST_HOOKS
// Makes the allocation with this index (0 = the next one) fail, and restarts the count;
// -1 lets every allocation succeed.
void _ak_testFailAllocation(long index);
// How many allocations were asked for since the last _ak_testFailAllocation.
long _ak_testAllocationCount();
// Replaces the transport's connect and send/receive time-outs; 0 restores the defaults.
void _ak_testSetTransportTimeouts(int connectMs, int ioMs);
// Replaces how long AKGetFileSize waits for a size; 0 restores the default.
void _ak_testSetFileSizePollLimit(int milliseconds);
#endif

#endif
