// A module for the loader tests: one exported entry whose answer names the
// build it came from.
extern "C" int ProbeValue() { return PROBE_VALUE; }
