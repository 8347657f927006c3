// The AddressSanitizer settings of the fuzz targets (linked into each target, not into the
// replay program, which runs under the test build's own). A freed block waits in quarantine,
// poisoned, before its memory is handed out again; the default quarantine of 256 MB makes the
// image targets, which allocate buffers of 64 KiB for every input, take fresh pages from the
// kernel for nearly every allocation, and the page faults cost them half their time. A
// quarantine of 64 MB still holds the blocks freed by the last thousand inputs and more: a use
// after free within one input, the only kind an input can cause, is caught as before.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=64";
}
