#pragma once

// Makes standard output and standard error carry qrv's UTF-8 text the way
// this system shows it. Call first in main, before anything is written.
// Linux: nothing to do. Windows: a console gets the text as UTF-16, so that
// it shows every accent whatever its code page (and the code page stays the
// user's); a file or a pipe gets the UTF-8 bytes with "\n" line ends, the
// same bytes as on Linux.
void PrepareStandardStreams();
