// The libFuzzer executable of a target: its main function is libFuzzer's own, which calls the target's
// entry function (linked from the target's library) with the inputs it makes.
#include "FuzzEntry.h"
