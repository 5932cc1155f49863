// Compiled with PROBE_HEADER naming one header: the public one must be found, a private one
// must not.
#include PROBE_HEADER

int main() { return 0; }
