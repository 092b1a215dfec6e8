#include "cli/Console.h"

void PrepareStandardStreams() {}
